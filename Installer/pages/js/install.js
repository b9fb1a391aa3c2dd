// The installer page: three views (licence, progress, finish), the buttons and keys, and the
// progress bar. The page talks to the Installer only through window.external: GetValue reads a
// value the Installer set, SetEvent raises an event. The Installer calls ShowPage, BeginInstall,
// DownloaderStarted, DownloaderEnded and SetProgressPercent.
// Plain ECMAScript 3 and the old DOM: the browser control may run in an old document mode.

var MAIN = "main";
var PROGRESS = "progress";
var FINISH = "finish";

var locale = "en-us";
var brand = "";
var CurrentPage = MAIN;

var _barWidth = 448;
var _barOffset = 3;
var AnimateRatems = 100;
var _animateStart = 0;
var _animateDownloadEnd = 0;
var _animateInstallEnd = 0;
var LastPercent = 0;
var _progressTimer = null;

var DownloadValue = "HKLM\\Software\\Larchmeadow\\InstallerStatus\\Download";
var InstallValue = "HKLM\\Software\\Larchmeadow\\InstallerStatus\\Install";

function GetValue(key) {
    return window.external.GetValue(key);
}

function RaiseEvent(name) {
    window.external.SetEvent(name);
}

function GetElement(id) {
    return document.getElementById(id);
}

function SetText(id, text) {
    var element = GetElement(id);
    while (element.firstChild) {
        element.removeChild(element.firstChild);
    }
    element.appendChild(document.createTextNode(String(text)));
}

function SetVisible(id, visible) {
    GetElement(id).style.display = visible ? "" : "none";
}

function ShowPage(view) {
    GetElement("page_" + CurrentPage).style.display = "none";
    CurrentPage = view;
    GetElement("page_" + view).style.display = "block";
    if (view == MAIN) {
        SetText("pageSubTitle", String_MainPageBodyPlaydeck[locale]);
        SetVisible("AgreeButton", true);
        SetVisible("CancelButton", true);
        SetVisible("OkButton", false);
    } else if (view == PROGRESS) {
        SetText("pageSubTitle", String_ProgressPageHeader[locale]);
        SetVisible("AgreeButton", false);
        SetVisible("CancelButton", false);
        SetVisible("OkButton", false);
    } else if (view == FINISH) {
        SetText("pageSubTitle", String_FinishPageHeaderGame[locale]);
        SetVisible("AgreeButton", false);
        SetVisible("CancelButton", false);
        SetVisible("OkButton", true);
    }
}

function BeginInstall() {
    SetText("progressBarLabel", String_ProgressInstallingConsole[GetValue("LMLocale")]);
    RaiseEvent("HtmlInstallBegin");
}

function DownloaderStarted(start, download, end) {
    _animateStart = Number(start);
    _animateDownloadEnd = Number(download);
    _animateInstallEnd = Number(end);
    if (_progressTimer != null) {
        window.clearTimeout(_progressTimer);
    }
    _progressTimer = window.setTimeout(AnimateProgress, AnimateRatems);
}

function DownloaderEnded() {
    if (_progressTimer != null) {
        window.clearTimeout(_progressTimer);
        _progressTimer = null;
    }
}

function SetProgressPercent(p) {
    if (p > 0) {
        // The width of one percent first, then p of them: the bar has always been drawn so.
        GetElement("progressBarEmpty").style.left = (_barOffset + Math.ceil(_barWidth / 100 * p)) + "px";
    }
    SetText("progressBarLabel", Math.round(p) + "%");
}

// A progress value as a number from 0 to 100; anything that is not a number counts as 0.
function ReadPercent(key) {
    var value = 0;
    try {
        value = parseFloat(GetValue(key));
    } catch (e) {
        value = 0;
    }
    if (isNaN(value) || value < 0) {
        value = 0;
    }
    if (value > 100) {
        value = 100;
    }
    return value;
}

function AnimateProgress() {
    _progressTimer = null;
    RaiseEvent("ReadRegValues");
    var download = ReadPercent(DownloadValue);
    var install = ReadPercent(InstallValue);
    var percent = _animateStart + (_animateDownloadEnd - _animateStart) * download / 100 +
        (_animateInstallEnd - _animateDownloadEnd) * install / 100;
    if (percent > LastPercent) {
        SetProgressPercent(percent);
    }
    LastPercent = percent;
    _progressTimer = window.setTimeout(AnimateProgress, AnimateRatems);
}

function MouseClick(element) {
    if (!element || !element.id) {
        element = window.event ? window.event.srcElement : null;
    }
    if (!element) {
        return;
    }
    if (element.id == "CancelButton") {
        RaiseEvent(CurrentPage == FINISH ? "HtmlInstallCancelOnFinishPage" : "HtmlInstallCancel");
    } else if (element.id == "OkButton") {
        if (CurrentPage == FINISH) {
            RaiseEvent("HtmlInstallFinish");
        }
    } else if (element.id == "AgreeButton") {
        ShowPage(PROGRESS);
        SetText("progressBarLabel", String_ProgressInstallingConsole[GetValue("LMLocale")]);
        RaiseEvent("HtmlInstallBegin");
    }
}

// Ctrl+Shift+A agrees, Ctrl+Shift+C cancels (licence view), Ctrl+Shift+O finishes (finish view).
// With Ctrl held the key press carries the control character: 1 for A, 3 for C, 15 for O.
function KeyPressed(e) {
    if (!e) {
        e = window.event;
    }
    if (!e || !e.ctrlKey || !e.shiftKey) {
        return;
    }
    var code = e.keyCode ? e.keyCode : e.charCode;
    if (code == 1 && CurrentPage == MAIN) {
        GetElement("AgreeButton").click();
    } else if (code == 3 && CurrentPage == MAIN) {
        GetElement("CancelButton").click();
    } else if (code == 15 && CurrentPage == FINISH) {
        GetElement("OkButton").click();
    }
}

function PageLoaded() {
    locale = GetValue("LMLocale");
    brand = GetValue("BrandName");
    GetElement("EULAFrame").src = "EULA_" + locale + ".html";
    GetElement("AgreeButton").value = String_Agree[locale];
    GetElement("OkButton").value = String_OK[locale];
    GetElement("CancelButton").value = String_Cancel[locale];
    SetText("pageTitle", String_MainPageHeaderGame[locale]);
    SetText("resultsMessage", String_FinishPageBody1[locale]);
    SetText("resultsMessage2", String_FinishPageBody2[locale]);
    SetText("progressBarLabel", String_Preparing[locale]);
    SetProgressPercent(0);
    RaiseEvent("HtmlInstallLoaded");
    window.focus();
}

window.onload = PageLoaded;

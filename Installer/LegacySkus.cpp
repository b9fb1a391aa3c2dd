#include "Installer/LegacySkus.h"

#include <vector>

#include "CommonAppLogic/DpCode.h"
#include "CommonAppLogic/InstallUtils.h"
#include "Installer/InstallerContract.h"
#include "Installer/RegistryText.h"
#include "Installer/TouchpointFiles.h"
#include "System/Exception.h"
#include "System/Io/Directory.h"
#include "System/Io/FilePath.h"
#include "System/Win32/RegistryKey.h"

namespace Lm {
namespace Installer {

using CommonAppLogic::BuildBrand;
using System::CException;
using System::Win32::CRegistryKey;

// Games of outside publishers that older editions sold and listed.
const LegacySkuRow LegacySkuTable[] = {
    {L"Moonlit Marble Quest", L"lmbbdl-6513270e-269e-4d37-b2a7-4de452e6b438",
     L"MarbleQuest.exe", L"{D23F0824-128B-4F33-8C5C-7FD0A6A3A450}_is1", L"marblequest", L"E", L"1"},
    {L"Harbor Lights Mahjong", L"lmbbdl-9531985d-5d9d-49f8-9818-e811892f902b",
     L"HarborMahjong.exe", L"{36F675CC-81E7-4EF5-A8E2-5D940ED90475}", L"harbormahjong", L"E", L"1"},
    {L"Clockwork Garden", L"lmbbdl-6b0d549b-6f03-475a-9600-a35a099950d8",
     L"bin\\ClockworkGarden.exe", L"Clockwork Garden_is1", L"clockworkgarden", L"E", L"1"},
    {L"Pepper & Pine Diner", L"lmbbdl-90c192cf-d3ac-44af-8f21-ddb66cad4a26",
     L"PepperPine.exe", L"{A170B338-3926-4059-B28C-105D1FB17C23}_is1", L"pepperpine", L"E", L"1"},
    {L"Sunken Atlas: The Lost Coins", L"lmbbdl-0fd630f1-f29d-4da9-953f-48f1a09f76b5",
     L"SunkenAtlas.exe", L"{0CB1E29C-658C-4A14-95E6-0AF593BD04CF}", L"sunkenatlas", L"E", L"2"},
    {L"Tinker Tram Tycoon", L"lmbbdl-8e81973e-0bec-47b0-b898-d190f9ebdacc",
     L"TinkerTram.exe", L"Tinker Tram Tycoon_is1", L"tinkertram", L"E", L"1"},
    {L"Frostvale Solitaire", L"lmbbdl-92276658-1e27-41c0-8a6a-63ec24ede6a4",
     L"Frostvale.exe", L"{AE97BA94-D0ED-482F-8F6D-05584EF8AA38}_is1", L"frostvalesol", L"E", L"1"},
    {L"Velvet Mystery Manor", L"lmbbdl-923a7369-94e3-4f91-9a61-dbe22e44158b",
     L"game\\VelvetManor.exe", L"{18F135D2-5F55-4203-B018-50C5A38FD547}", L"velvetmanor", L"T", L"3"},
    {L"Lantern Festival Match", L"lmbbdl-907a70c3-1012-4037-b64c-e4228c38fb29",
     L"LanternMatch.exe", L"Lantern Festival Match_is1", L"lanternmatch", L"E", L"1"},
    {L"Orchard Hollow Farm", L"lmbbdl-c6f87718-6d76-407e-881e-d162ae2eb154",
     L"OrchardHollow.exe", L"{EC66A787-95E7-41D1-B731-AF10506BF2EF}_is1", L"orchardhollow", L"E", L"1"},
    {L"Quartz Canyon Rally", L"lmbbdl-3f98e277-4cbd-47ad-9c90-a9587403e430",
     L"QuartzRally.exe", L"{C7A2EA20-B2F1-4C94-AE05-319ACB5C7427}", L"quartzrally", L"E", L"2"},
    {L"Whisker Wharf Bakery", L"lmbbdl-4cdd2055-930d-4eaf-94f4-733f3e7d1bfb",
     L"WhiskerWharf.exe", L"Whisker Wharf Bakery_is1", L"whiskerwharf", L"E", L"1"},
    {L"Cobalt Depths Hidden Objects", L"lmbbdl-9be4bcfc-49b6-4a08-b2e6-cc3ababced20",
     L"CobaltDepths.exe", L"{830E07BC-1E39-4F10-92BD-4ACEFAECBD38}_is1", L"cobaltdepths", L"E", L"2"},
    {L"Mapleford Word Garden", L"lmbbdl-5790f82e-c1d3-4cff-aa3a-f4d46b0a18e8",
     L"MapleWords.exe", L"{6BF46C69-7D2C-4F82-AEEA-CBE226E87555}", L"maplewords", L"E", L"1"},
    {L"Starling Street Detective", L"lmbbdl-13deef86-ab10-41d0-b646-e1f40a097c97",
     L"Starling.exe", L"Starling Street Detective_is1", L"starlingdet", L"T", L"3"},
    {L"Glasswing Bubble Pop", L"lmbbdl-57124242-5051-41cc-917f-9acae01f5057",
     L"GlasswingPop.exe", L"{7F26144B-9828-4FCD-99A5-4A7BB1FEE08F}_is1", L"glasswingpop", L"E", L"1"},
    {L"Ironbridge Rail Puzzle", L"lmbbdl-119a72d1-74c9-4f6a-8c01-1cdd9474031b",
     L"Ironbridge.exe", L"{451ABD81-F1D6-4ED6-97F5-E837D70820FE}", L"ironbridge", L"E", L"1"},
    {L"Sapphire Isle Resort", L"lmbbdl-10a3d6b2-aa05-411a-b271-5945795e8229",
     L"SapphireIsle.exe", L"Sapphire Isle Resort_is1", L"sapphireisle", L"E", L"1"},
    {L"Thimble & Thread Tailor", L"lmbbdl-ae658f33-fe3b-490b-93f4-48b3a5aa3c81",
     L"ThimbleThread.exe", L"{B774EB52-48DB-40AF-B215-8370D269A9A5}_is1", L"thimblethread", L"E", L"1"},
    {L"Emberfall Chronicles", L"lmbbdl-58d5563d-ab2c-431e-a315-128862c33a4f",
     L"Emberfall\\Emberfall.exe", L"{5AFFB229-7631-4992-B0CE-583505C6AF07}", L"emberfall", L"T", L"3"},
    {L"Pebblebrook Pinball", L"lmbbdl-7e62aa0a-1df9-4d78-9c65-39382b0537e6",
     L"Pinball.exe", L"Pebblebrook Pinball_is1", L"pebblepinball", L"E", L"1"},
    {L"Nightjar Jigsaw Journeys", L"lmbbdl-65dc9f50-3f63-4f83-bd05-61e6211c70cf",
     L"NightjarJigsaw.exe", L"{7F1B103C-DF15-42B0-AAB4-77D26415479C}_is1", L"nightjarjigsaw", L"E", L"1"},
};
const size_t LegacySkuTableSize = sizeof(LegacySkuTable) / sizeof(LegacySkuTable[0]);

namespace {

constexpr const wchar_t* kBuyAddress = L"http://store.larchmeadow.example/product/buy.aspx?ProductCodeName=";

std::wstring SkuKeyPath(const std::wstring& name)
{
    return std::wstring(kInstalledSkusKey) + L"\\" + name;
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

} // namespace

std::wstring GetBuyAddress(const std::wstring& productCodeName)
{
    return kBuyAddress + productCodeName + L"&DPCodeName=" + BuildBrand;
}

bool IsSkuRegistered(const std::wstring& productCodeName)
{
    std::vector<std::wstring> names;
    try {
        CRegistryKey skus(kInstalledSkusKey, true);
        skus.EnumerateSubKeyNames(names);
    } catch (const CException&) {
        // The names listed before the failure are still examined.
    }
    for (const std::wstring& name : names) {
        // The main application's entries: one that cannot be read names no product.
        if (ReadTextOrEmpty(SkuKeyPath(name), L"ProductCodeName") == productCodeName)
            return true;
    }
    return false;
}

namespace {

// The folder of the program that a command line names.
std::wstring ProgramFolder(const std::wstring& commandLine)
{
    std::wstring program, arguments;
    CommonAppLogic::SplitCommandLine(commandLine, program, arguments);
    return System::IO::GetParentFolder(program);
}

std::wstring FolderFromEntry(CRegistryKey& entry)
{
    // Values that name the folder itself, then values that name a program in it; the first that
    // is not empty decides.
    const struct {
        const wchar_t* name;
        bool namesFolder;
    } values[] = {{L"InstallLocation", true}, {L"InstallDir", true}, {L"InstallDirectory", true},
                  {L"DisplayIcon", false}, {L"UninstallString", false}};
    for (const auto& candidate : values) {
        std::wstring value = ReadTextOrEmpty(entry, candidate.name);
        if (value.empty())
            continue;
        // A folder value that names an existing folder is that folder, with or without a
        // trailing backslash.
        if (candidate.namesFolder && System::IO::CDirectory::Exists(value)) {
            while (!value.empty() && IsSeparator(value.back()))
                value.pop_back();
            return value;
        }
        return ProgramFolder(value);
    }
    return std::wstring();
}

} // namespace

std::wstring GetSkuInstallFolder(const std::wstring& uninstallKey)
{
    const std::wstring entryPath = kUninstallKeyRoot + uninstallKey;
    if (!CRegistryKey::KeyExists(entryPath))
        return std::wstring();
    try {
        CRegistryKey entry(entryPath, true);
        return FolderFromEntry(entry);
    } catch (const CException&) {
        return std::wstring();   // another program's entry that we may not read: no folder known
    }
}

void RegisterLegacySku(const std::wstring& displayName, const std::wstring& skuCode, const std::wstring& exeName,
                       const std::wstring& uninstallKey, const std::wstring& productCodeName,
                       const std::wstring& ratingLetter, const std::wstring& ratingDigit)
{
    CRegistryKey::DeleteKeyTree(SkuKeyPath(skuCode));
    if (IsSkuRegistered(productCodeName))
        return;
    // Only games that an older edition already listed under that name are completed.
    if (!CRegistryKey::KeyExists(SkuKeyPath(uninstallKey)))
        return;
    const std::wstring installFolder = GetSkuInstallFolder(uninstallKey);

    CRegistryKey sku(SkuKeyPath(uninstallKey), false);
    sku.SetString(L"ProductCodeName", productCodeName);
    sku.SetString(L"InstallerKey", uninstallKey);
    sku.SetString(L"ExeName", exeName);
    sku.SetString(L"RuntimeExeName", exeName);
    sku.SetString(L"LaunchExeName", exeName);
    sku.SetString(L"InstallDirectory", installFolder);
    sku.SetString(L"ProductDisplayName", displayName);
    sku.SetString(L"ProductName", displayName);
    sku.SetString(L"esrb", ratingLetter);
    sku.SetString(L"lmRating", ratingDigit);
    sku.SetString(L"DPCodeName", BuildBrand);
    sku.SetString(L"BrandCodeName", BuildBrand);
    sku.SetString(L"HideBuyButton", L"0");
    sku.SetString(L"UseHOTTracking", L"True");
    sku.SetString(L"BuyURL", GetBuyAddress(productCodeName));
}

void RegisterLegacySkus(const CInstallerOptions& options)
{
    if (!options.legacySkuValues || options.restore)
        return;
    // Without a touchpoint entry (a "/noautorestore" install writes none) there is no place for
    // the flag; opening it in create mode would leave a bare entry behind.
    const std::wstring entryPath = GetTouchpointUninstallKeyPath();
    if (!CRegistryKey::KeyExists(entryPath))
        return;
    CRegistryKey entry(entryPath, false);
    if (ReadTextOrEmpty(entry, kLegacySkuValuesSetValue) == L"1")
        return;
    for (size_t index = 0; index < LegacySkuTableSize; ++index) {
        const LegacySkuRow& row = LegacySkuTable[index];
        RegisterLegacySku(row.displayName, row.skuCode, row.exeName, row.uninstallKey, row.productCodeName,
                          row.ratingLetter, row.ratingDigit);
    }
    entry.SetString(kLegacySkuValuesSetValue, L"1");
}

} // namespace Installer
} // namespace Lm

#include "Installer/InstallerMessageTable.h"

namespace Lm {
namespace Installer {

namespace {

// Rows in the order of the UI language index: en-us, de, es, es-es, fr, it, ko, pt, zh-chs, zh-cht.
// The double blanks after a first sentence belong to the texts.
const InstallerMessageRow kInstallerMessageTable[Lm::CommonAppLogic::kUILanguageCount] = {
    {   // 0 en-us
        L"Play thousands of free games right from your desktop.",
        L"This product requires Windows 7 or newer.",
        L"Failed to initialize Larchmeadow Games App Setup.  Setup program may already be running.",
        L"This installer requires Internet connectivity.  Please go online, and try again.",
        L"There was an unexpected error during installation.  Please try again.",
        L"Larchmeadow Games App has not been installed.  Exit Installation?",
        L"Larchmeadow Games App Setup",
    },
    {   // 1 de
        L"Spielen Sie Tausende kostenloser Spiele direkt von Ihrem Desktop aus.",
        L"Dieses Produkt erfordert Windows 7 oder neuer.",
        L"Larchmeadow Games App Setup konnte nicht initialisiert werden.  Das Setup-Programm wird m\u00f6glicherweise bereits ausgef\u00fchrt.",
        L"Dieses Installationsprogramm ben\u00f6tigt eine Internetverbindung.  Bitte stellen Sie eine Verbindung her und versuchen Sie es erneut.",
        L"Bei der Installation ist ein unerwarteter Fehler aufgetreten.  Bitte versuchen Sie es erneut.",
        L"Larchmeadow Games App wurde nicht installiert.  Installation beenden?",
        L"Larchmeadow Games App Setup",
    },
    {   // 2 es
        L"Juega miles de juegos gratis directamente desde tu escritorio.",
        L"Este producto requiere Windows 7 o posterior.",
        L"No se pudo iniciar la instalaci\u00f3n de Larchmeadow Games App.  Es posible que el programa de instalaci\u00f3n ya se est\u00e9 ejecutando.",
        L"Este instalador necesita conexi\u00f3n a Internet.  Con\u00e9ctate e int\u00e9ntalo de nuevo.",
        L"Se produjo un error inesperado durante la instalaci\u00f3n.  Int\u00e9ntalo de nuevo.",
        L"Larchmeadow Games App no se ha instalado.  \u00bfSalir de la instalaci\u00f3n?",
        L"Instalaci\u00f3n de Larchmeadow Games App",
    },
    {   // 3 es-es
        L"Juega a miles de juegos gratuitos directamente desde tu escritorio.",
        L"Este producto requiere Windows 7 o posterior.",
        L"No se ha podido iniciar la instalaci\u00f3n de Larchmeadow Games App.  Puede que el programa de instalaci\u00f3n ya se est\u00e9 ejecutando.",
        L"Este instalador necesita conexi\u00f3n a Internet.  Con\u00e9ctate y vuelve a intentarlo.",
        L"Se ha producido un error inesperado durante la instalaci\u00f3n.  Vuelve a intentarlo.",
        L"Larchmeadow Games App no se ha instalado.  \u00bfSalir de la instalaci\u00f3n?",
        L"Instalaci\u00f3n de Larchmeadow Games App",
    },
    {   // 4 fr
        L"Jouez \u00e0 des milliers de jeux gratuits directement depuis votre bureau.",
        L"Ce produit n\u00e9cessite Windows 7 ou une version ult\u00e9rieure.",
        L"Impossible d'initialiser l'installation de Larchmeadow Games App.  Le programme d'installation est peut-\u00eatre d\u00e9j\u00e0 en cours d'ex\u00e9cution.",
        L"Ce programme d'installation n\u00e9cessite une connexion Internet.  Connectez-vous, puis r\u00e9essayez.",
        L"Une erreur inattendue s'est produite pendant l'installation.  Veuillez r\u00e9essayer.",
        L"Larchmeadow Games App n'a pas \u00e9t\u00e9 install\u00e9.  Quitter l'installation ?",
        L"Installation de Larchmeadow Games App",
    },
    {   // 5 it
        L"Gioca a migliaia di giochi gratuiti direttamente dal tuo desktop.",
        L"Questo prodotto richiede Windows 7 o versioni successive.",
        L"Impossibile inizializzare l'installazione di Larchmeadow Games App.  Il programma di installazione potrebbe essere gi\u00e0 in esecuzione.",
        L"Questo programma di installazione richiede una connessione a Internet.  Connettiti e riprova.",
        L"Si \u00e8 verificato un errore imprevisto durante l'installazione.  Riprova.",
        L"Larchmeadow Games App non \u00e8 stato installato.  Uscire dall'installazione?",
        L"Installazione di Larchmeadow Games App",
    },
    {   // 6 ko
        L"\ubc14\ud0d5 \ud654\uba74\uc5d0\uc11c \ubc14\ub85c \uc218\ucc9c \uac1c\uc758 \ubb34\ub8cc \uac8c\uc784\uc744 \uc990\uae30\uc138\uc694.",
        L"\uc774 \uc81c\ud488\uc744 \uc0ac\uc6a9\ud558\ub824\uba74 Windows 7 \uc774\uc0c1\uc774 \ud544\uc694\ud569\ub2c8\ub2e4.",
        L"Larchmeadow Games App \uc124\uce58\ub97c \ucd08\uae30\ud654\ud558\uc9c0 \ubabb\ud588\uc2b5\ub2c8\ub2e4.  \uc124\uce58 \ud504\ub85c\uadf8\ub7a8\uc774 \uc774\ubbf8 \uc2e4\ud589 \uc911\uc77c \uc218 \uc788\uc2b5\ub2c8\ub2e4.",
        L"\uc774 \uc124\uce58 \ud504\ub85c\uadf8\ub7a8\uc740 \uc778\ud130\ub137 \uc5f0\uacb0\uc774 \ud544\uc694\ud569\ub2c8\ub2e4.  \uc778\ud130\ub137\uc5d0 \uc5f0\uacb0\ud55c \ud6c4 \ub2e4\uc2dc \uc2dc\ub3c4\ud558\uc138\uc694.",
        L"\uc124\uce58 \uc911\uc5d0 \uc608\uae30\uce58 \uc54a\uc740 \uc624\ub958\uac00 \ubc1c\uc0dd\ud588\uc2b5\ub2c8\ub2e4.  \ub2e4\uc2dc \uc2dc\ub3c4\ud558\uc138\uc694.",
        L"Larchmeadow Games App\uc774(\uac00) \uc124\uce58\ub418\uc9c0 \uc54a\uc558\uc2b5\ub2c8\ub2e4.  \uc124\uce58\ub97c \uc885\ub8cc\ud558\uc2dc\uaca0\uc2b5\ub2c8\uae4c?",
        L"Larchmeadow Games App \uc124\uce58",
    },
    {   // 7 pt
        L"Jogue milhares de jogos gratuitos diretamente da sua \u00e1rea de trabalho.",
        L"Este produto requer o Windows 7 ou mais recente.",
        L"Falha ao inicializar a instala\u00e7\u00e3o do Larchmeadow Games App.  O programa de instala\u00e7\u00e3o j\u00e1 pode estar em execu\u00e7\u00e3o.",
        L"Este instalador requer conex\u00e3o com a Internet.  Conecte-se e tente novamente.",
        L"Ocorreu um erro inesperado durante a instala\u00e7\u00e3o.  Tente novamente.",
        L"O Larchmeadow Games App n\u00e3o foi instalado.  Sair da instala\u00e7\u00e3o?",
        L"Instala\u00e7\u00e3o do Larchmeadow Games App",
    },
    {   // 8 zh-chs
        L"\u76f4\u63a5\u5728\u684c\u9762\u4e0a\u7545\u73a9\u6570\u5343\u6b3e\u514d\u8d39\u6e38\u620f\u3002",
        L"\u6b64\u4ea7\u54c1\u9700\u8981 Windows 7 \u6216\u66f4\u9ad8\u7248\u672c\u3002",
        L"\u65e0\u6cd5\u521d\u59cb\u5316 Larchmeadow Games App \u5b89\u88c5\u7a0b\u5e8f\u3002  \u5b89\u88c5\u7a0b\u5e8f\u53ef\u80fd\u5df2\u5728\u8fd0\u884c\u3002",
        L"\u6b64\u5b89\u88c5\u7a0b\u5e8f\u9700\u8981\u8fde\u63a5\u5230 Internet\u3002  \u8bf7\u8054\u7f51\u540e\u91cd\u8bd5\u3002",
        L"\u5b89\u88c5\u8fc7\u7a0b\u4e2d\u51fa\u73b0\u610f\u5916\u9519\u8bef\u3002  \u8bf7\u91cd\u8bd5\u3002",
        L"Larchmeadow Games App \u5c1a\u672a\u5b89\u88c5\u3002  \u662f\u5426\u9000\u51fa\u5b89\u88c5\uff1f",
        L"Larchmeadow Games App \u5b89\u88c5\u7a0b\u5e8f",
    },
    {   // 9 zh-cht
        L"\u76f4\u63a5\u5728\u684c\u9762\u4e0a\u66a2\u73a9\u6578\u5343\u6b3e\u514d\u8cbb\u904a\u6232\u3002",
        L"\u6b64\u7522\u54c1\u9700\u8981 Windows 7 \u6216\u66f4\u65b0\u7248\u672c\u3002",
        L"\u7121\u6cd5\u521d\u59cb\u5316 Larchmeadow Games App \u5b89\u88dd\u7a0b\u5f0f\u3002  \u5b89\u88dd\u7a0b\u5f0f\u53ef\u80fd\u5df2\u5728\u57f7\u884c\u4e2d\u3002",
        L"\u6b64\u5b89\u88dd\u7a0b\u5f0f\u9700\u8981\u7db2\u969b\u7db2\u8def\u9023\u7dda\u3002  \u8acb\u9023\u7dda\u5f8c\u518d\u8a66\u4e00\u6b21\u3002",
        L"\u5b89\u88dd\u671f\u9593\u767c\u751f\u672a\u9810\u671f\u7684\u932f\u8aa4\u3002  \u8acb\u518d\u8a66\u4e00\u6b21\u3002",
        L"Larchmeadow Games App \u5c1a\u672a\u5b89\u88dd\u3002  \u8981\u7d50\u675f\u5b89\u88dd\u55ce\uff1f",
        L"Larchmeadow Games App \u5b89\u88dd\u7a0b\u5f0f",
    },
};

} // namespace

const InstallerMessageRow& GetInstallerMessageRow(int languageIndex)
{
    if (languageIndex < 0 || languageIndex >= Lm::CommonAppLogic::kUILanguageCount)
        languageIndex = 0;
    return kInstallerMessageTable[languageIndex];
}

} // namespace Installer
} // namespace Lm

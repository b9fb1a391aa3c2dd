// The page's texts in the ten UI languages, keyed like the Installer's "LMLocale" value.

var String_Agree = {
    "en-us": "Agree",
    "de": "Zustimmen",
    "es": "Acepto",
    "es-es": "Aceptar",
    "fr": "J'accepte",
    "it": "Accetto",
    "ko": "동의",
    "pt": "Concordo",
    "zh-chs": "同意",
    "zh-cht": "同意"
};

var String_OK = {
    "en-us": "Finish",
    "de": "Fertig stellen",
    "es": "Finalizar",
    "es-es": "Finalizar",
    "fr": "Terminer",
    "it": "Fine",
    "ko": "마침",
    "pt": "Concluir",
    "zh-chs": "完成",
    "zh-cht": "完成"
};

var String_Cancel = {
    "en-us": "Cancel",
    "de": "Abbrechen",
    "es": "Cancelar",
    "es-es": "Cancelar",
    "fr": "Annuler",
    "it": "Annulla",
    "ko": "취소",
    "pt": "Cancelar",
    "zh-chs": "取消",
    "zh-cht": "取消"
};

var String_MainPageBodyPlaydeck = {
    "en-us": "Click Agree below to accept our license agreement and continue with the installation.",
    "de": "Klicken Sie unten auf „Zustimmen“, um unseren Lizenzvertrag anzunehmen und die Installation fortzusetzen.",
    "es": "Haz clic en Acepto para aceptar nuestro contrato de licencia y continuar con la instalación.",
    "es-es": "Haz clic en Aceptar para aceptar nuestro contrato de licencia y continuar con la instalación.",
    "fr": "Cliquez sur J'accepte ci-dessous pour accepter notre contrat de licence et poursuivre l'installation.",
    "it": "Fai clic su Accetto qui sotto per accettare il nostro contratto di licenza e proseguire con l'installazione.",
    "ko": "아래의 동의를 클릭하여 사용권 계약에 동의하고 설치를 계속하세요.",
    "pt": "Clique em Concordo abaixo para aceitar nosso contrato de licença e continuar a instalação.",
    "zh-chs": "单击下方的“同意”以接受我们的许可协议并继续安装。",
    "zh-cht": "按一下下方的「同意」以接受我們的授權合約並繼續安裝。"
};

var String_MainPageHeaderGame = {
    "en-us": "Larchmeadow Games App Setup",
    "de": "Larchmeadow Games App Setup",
    "es": "Instalación de Larchmeadow Games App",
    "es-es": "Instalación de Larchmeadow Games App",
    "fr": "Installation de Larchmeadow Games App",
    "it": "Installazione di Larchmeadow Games App",
    "ko": "Larchmeadow Games App 설치",
    "pt": "Instalação do Larchmeadow Games App",
    "zh-chs": "Larchmeadow Games App 安装程序",
    "zh-cht": "Larchmeadow Games App 安裝程式"
};

var String_ProgressPageHeader = {
    "en-us": "Please wait while installation completes",
    "de": "Bitte warten Sie, bis die Installation abgeschlossen ist",
    "es": "Espera mientras se completa la instalación",
    "es-es": "Espera mientras finaliza la instalación",
    "fr": "Veuillez patienter pendant la fin de l'installation",
    "it": "Attendi il completamento dell'installazione",
    "ko": "설치가 완료될 때까지 기다려 주세요",
    "pt": "Aguarde enquanto a instalação é concluída",
    "zh-chs": "请稍候，正在完成安装",
    "zh-cht": "請稍候，正在完成安裝"
};

var String_FinishPageHeaderGame = {
    "en-us": "Larchmeadow Games App Setup Complete",
    "de": "Larchmeadow Games App Setup abgeschlossen",
    "es": "Instalación de Larchmeadow Games App completada",
    "es-es": "Se ha completado la instalación de Larchmeadow Games App",
    "fr": "Installation de Larchmeadow Games App terminée",
    "it": "Installazione di Larchmeadow Games App completata",
    "ko": "Larchmeadow Games App 설치 완료",
    "pt": "Instalação do Larchmeadow Games App concluída",
    "zh-chs": "Larchmeadow Games App 安装完成",
    "zh-cht": "Larchmeadow Games App 安裝完成"
};

var String_FinishPageBody1 = {
    "en-us": "Thank you for installing this product.  Click Finish below to close this window.",
    "de": "Vielen Dank, dass Sie dieses Produkt installiert haben.  Klicken Sie unten auf „Fertig stellen“, um dieses Fenster zu schließen.",
    "es": "Gracias por instalar este producto.  Haz clic en Finalizar para cerrar esta ventana.",
    "es-es": "Gracias por instalar este producto.  Haz clic en Finalizar para cerrar esta ventana.",
    "fr": "Merci d'avoir installé ce produit.  Cliquez sur Terminer ci-dessous pour fermer cette fenêtre.",
    "it": "Grazie per aver installato questo prodotto.  Fai clic su Fine qui sotto per chiudere questa finestra.",
    "ko": "이 제품을 설치해 주셔서 감사합니다.  아래의 마침을 클릭하여 이 창을 닫으세요.",
    "pt": "Obrigado por instalar este produto.  Clique em Concluir abaixo para fechar esta janela.",
    "zh-chs": "感谢您安装本产品。  单击下方的“完成”关闭此窗口。",
    "zh-cht": "感謝您安裝本產品。  按一下下方的「完成」關閉此視窗。"
};

var String_FinishPageBody2 = {
    "en-us": "",
    "de": "",
    "es": "",
    "es-es": "",
    "fr": "",
    "it": "",
    "ko": "",
    "pt": "",
    "zh-chs": "",
    "zh-cht": ""
};

var String_ProgressInstallingConsole = {
    "en-us": "Installing critical files...",
    "de": "Wichtige Dateien werden installiert...",
    "es": "Instalando archivos esenciales...",
    "es-es": "Instalando archivos esenciales...",
    "fr": "Installation des fichiers essentiels...",
    "it": "Installazione dei file essenziali...",
    "ko": "중요 파일을 설치하는 중...",
    "pt": "Instalando arquivos essenciais...",
    "zh-chs": "正在安装关键文件...",
    "zh-cht": "正在安裝重要檔案..."
};

var String_Preparing = {
    "en-us": "Preparing for installation...",
    "de": "Installation wird vorbereitet...",
    "es": "Preparando la instalación...",
    "es-es": "Preparando la instalación...",
    "fr": "Préparation de l'installation...",
    "it": "Preparazione dell'installazione...",
    "ko": "설치를 준비하는 중...",
    "pt": "Preparando a instalação...",
    "zh-chs": "正在准备安装...",
    "zh-cht": "正在準備安裝..."
};

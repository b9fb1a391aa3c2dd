# Sourced: the environment every Wine run of the project uses.
lm_root=$(cd "$(dirname "$0")/.." && pwd)
: "${LM_BUILD_DIR:=$lm_root/build}"
export WINEPREFIX="${WINEPREFIX:-$LM_BUILD_DIR/wineprefix}"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono, no Gecko; and no winemenubuilder, which would copy every link the programs make into
# the host's own menus (~/.local/share/applications) and start a process per link. A test may add
# overrides of its own through LM_WINEDLLOVERRIDES (Wine reads them from the Unix environment of
# the process, which the programs it starts inherit).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${LM_WINEDLLOVERRIDES:+;$LM_WINEDLLOVERRIDES}"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy FTP_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
export LANG=C.UTF-8 LC_ALL=C.UTF-8 TZ=UTC

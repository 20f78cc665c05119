# Sourced by the Windows test scripts: Wine set up so that nothing touches ~/.wine.
#   wine_env PREFIX     use (and make, once) the Wine prefix PREFIX
#   wine_fresh PREFIX   the same, from an empty prefix
# A prefix is made with `wineboot -i` (about 8 s here); Wine's offers to fetch Mono and Gecko are
# switched off, and so are its debug messages, which would mix with the programs' output.

wine_env() {
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=win64
    if [ ! -f "$WINEPREFIX/.trelvane-ready" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || {
            cat "$WINEPREFIX.boot.log" >&2
            echo "wineboot -i failed for $WINEPREFIX" >&2
            return 1
        }
        wineserver -w
        touch "$WINEPREFIX/.trelvane-ready"
    fi
}

wine_fresh() {
    if [ -d "$1" ]; then
        WINEPREFIX=$1 wineserver -k 2>/dev/null || true
        rm -rf "$1"
    fi
    wine_env "$1"
}

# The Unix path of a Windows path inside the current prefix.
wine_unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# The value of a Windows environment variable (%APPDATA%, ...) inside the current prefix.
wine_getenv() { wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }

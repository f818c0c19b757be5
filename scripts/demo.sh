# The demo ./run starts when no real display is wanted: a simulated controller
# (hxsim) on loopback showing its LED panel, initialised through Marqora's own
# initialisation code (marqora-demo), and Marqora watching a sample text file.
# Everything lives in $ROOT/$BUILD_DIR/demo; the user's own settings are never read or written.
# shellcheck shell=bash

DEMO_PANEL=160x64

HXSIM_PID=
HXSIM_PORT=

stop_demo() {
    if [ -n "$HXSIM_PID" ]; then
        kill "$HXSIM_PID" 2>/dev/null || true
        wait "$HXSIM_PID" 2>/dev/null || true
        HXSIM_PID=
    fi
}

# Starts hxsim; sets HXSIM_PID, and HXSIM_PORT once it reported ready.
start_hxsim() {
    local bin=$1 demo=$2
    local view=(--png "$demo/panel.png")
    # A window only where there is a screen; the PNG is written either way.
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
        view+=(--window)
    fi
    : > "$demo/hxsim.log"
    : > "$demo/hxsim.out"
    "$bin/hxsim" --disk "$demo/controller" --udp 127.0.0.1:0 --name DEMO --size "$DEMO_PANEL" \
        --boot-ms 500 --log "$demo/hxsim.log" "${view[@]}" > "$demo/hxsim.out" &
    HXSIM_PID=$!
    local tries=0 line
    until line=$(grep -m1 '^hxsim ready' "$demo/hxsim.out"); do
        if ! kill -0 "$HXSIM_PID" 2>/dev/null || [ $((tries += 1)) -gt 200 ]; then
            echo "The simulated controller did not start." >&2
            return 1
        fi
        sleep 0.1
    done
    HXSIM_PORT=${line##*:}
}

# demo_marqora FOLDER [marqora arguments...]: Marqora with the demo's settings only.
demo_marqora() {
    local demo=$1
    shift
    MARQORA_HOME="$demo/home" XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data" \
        "$ROOT/$BUILD_DIR/bin/marqora" "$@"
}

# run_demo [marqora arguments...]; FRESH_DEMO=1 starts from the initial state.
run_demo() {
    local bin="$ROOT/$BUILD_DIR/bin" demo="$ROOT/$BUILD_DIR/demo"
    if [ -d "$demo/home" ] && demo_marqora "$demo" --status >/dev/null 2>&1; then
        if [ "${FRESH_DEMO:-0}" = 1 ]; then
            echo "The demo runs already: end it (Ctrl+C where it was started), then start it afresh." >&2
            return 1
        fi
        echo "The demo runs already: its window opens there."
        demo_marqora "$demo" "$@"
        return
    fi
    # The displays added, the settings changed and the sample text edited while trying it go.
    [ "${FRESH_DEMO:-0}" = 0 ] || rm -rf "$demo"
    mkdir -p "$demo/home" "$demo/config" "$demo/data"
    [ -f "$demo/news.txt" ] || cp "$ROOT/data/demo/news.txt" "$demo/news.txt"

    trap stop_demo EXIT
    trap 'exit 130' INT TERM
    start_hxsim "$bin" "$demo"
    "$bin/marqora-demo" --home "$demo/home" --port "$HXSIM_PORT" --size "$DEMO_PANEL" --text "$demo/news.txt"

    cat <<MSG

Demo: a simulated LED display (${DEMO_PANEL} LEDs) on 127.0.0.1:$HXSIM_PORT.
  Panel picture: $demo/panel.png (rewritten on every change)
  Sample text:   $demo/news.txt (UTF-8; edit it and the panel follows within 10 s)
  Ctrl+C stops Marqora and the simulated display. ./run --fresh-demo starts the
  demo afresh; ./run --no-demo uses real displays.

MSG
    demo_marqora "$demo" "$@"
}

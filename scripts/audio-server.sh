#!/usr/bin/env bash
# A private PulseAudio server for the live capture tests: its own temporary runtime directory,
# its own socket, a 1000 Hz sine at 44100 Hz as the default capture source, and an ALSA
# configuration that routes ALSA's default device to it through the pulse plugin.
#
# The sine is played into a silent sink ("tone") whose monitor is the default source. The
# server's own sine source module renders in fixed two-second blocks, so a client of it gets two
# seconds of audio at once every two seconds; the monitor of a sink delivers in real time, as a
# sound card does. An idle sink falls back to rendering in two-second blocks too, and a new
# client then waits for the block in progress; a resident low-latency reader (parec into
# /dev/null) keeps the sink rendering in small blocks, so a client's start costs what starting
# a capture costs, not what the test source happens to be doing.
#
#   eval "$(scripts/audio-server.sh start)"   starts a server and prints the exports that point
#                                              clients at it (AUDIO_SERVER_DIR, PULSE_SERVER,
#                                              PULSE_CLIENTCONFIG, ALSA_CONFIG_PATH, ...)
#   scripts/audio-server.sh stop              stops the server of $AUDIO_SERVER_DIR and removes
#                                              the directory
#   scripts/audio-server.sh kill              kills the server at once (SIGKILL): a lost device
#   scripts/audio-server.sh restart           starts a server again in $AUDIO_SERVER_DIR, on the
#                                              same socket, after `kill` or `stop-server`
#   scripts/audio-server.sh status            exits 0 when the server answers
#
# The server runs as the calling user; as root it prints a warning, which goes to its log.
# Every wait is bounded; failures exit non-zero with a message on standard error.
set -euo pipefail

sine_frequency=1000
sine_rate=44100

die() {
    echo "audio-server: $*" >&2
    exit 1
}

require_dir() {
    [ -n "${AUDIO_SERVER_DIR:-}" ] || die "AUDIO_SERVER_DIR is not set (run: eval \"\$($0 start)\")"
    [ -d "$AUDIO_SERVER_DIR" ] || die "no server directory $AUDIO_SERVER_DIR"
}

# The environment every client of the private server needs, for the directory $1.
client_env() {
    local dir=$1
    echo "export AUDIO_SERVER_DIR='$dir'"
    echo "export PULSE_SERVER='unix:$dir/native'"
    echo "export PULSE_CLIENTCONFIG='$dir/client.conf'"
    echo "export PULSE_RUNTIME_PATH='$dir/runtime'"
    # The system file first (it defines the plugins and the hooks), then ours, which makes the
    # pulse plugin ALSA's default device whatever the machine's own files say.
    echo "export ALSA_CONFIG_PATH='/usr/share/alsa/alsa.conf:$dir/asound.conf'"
}

server_alive() {
    local dir=$1
    PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" \
        timeout 5 pactl info >/dev/null 2>&1
}

launch() {
    local dir=$1
    command -v pulseaudio >/dev/null || {
        echo "audio-server: pulseaudio is not installed (run scripts/setup.sh)" >&2
        return 1
    }
    rm -f "$dir/native"
    # setsid: the server survives the shell that started it and gets no terminal signals.
    HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" PULSE_RUNTIME_PATH="$dir/runtime" \
        PULSE_STATE_PATH="$dir/state" XDG_CONFIG_HOME="$dir/home/.config" \
        setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --use-pid-file=no --log-target=stderr \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        --load="module-null-sink sink_name=tone rate=$sine_rate channels=2" \
        --load="module-sine sink=tone frequency=$sine_frequency" \
        </dev/null >>"$dir/server.log" 2>&1 &
    echo $! >"$dir/server.pid"
    # Up to 10 s for the socket to answer.
    local tries=0
    until server_alive "$dir"; do
        tries=$((tries + 1))
        if [ $tries -ge 100 ] || ! kill -0 "$(cat "$dir/server.pid")" 2>/dev/null; then
            cat "$dir/server.log" >&2 || true
            echo "audio-server: the server in $dir did not come up" >&2
            return 1
        fi
        sleep 0.1
    done
    PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" \
        timeout 5 pactl set-default-source tone.monitor || {
        echo "audio-server: could not make the tone the default source" >&2
        return 1
    }
    PULSE_SERVER="unix:$dir/native" PULSE_CLIENTCONFIG="$dir/client.conf" \
        setsid parec --device=tone.monitor --latency-msec=5 --raw \
        </dev/null >/dev/null 2>>"$dir/server.log" &
    echo $! >"$dir/keeper.pid"
}

stop_keeper() {
    local dir=$1
    if [ -f "$dir/keeper.pid" ]; then
        kill -KILL "$(cat "$dir/keeper.pid")" 2>/dev/null || true
        rm -f "$dir/keeper.pid"
    fi
}

stop_server() {
    local dir=$1
    stop_keeper "$dir"
    [ -f "$dir/server.pid" ] || return 0
    local pid
    pid=$(cat "$dir/server.pid")
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        # Up to 5 s for an orderly exit, then SIGKILL.
        local tries=0
        while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
            sleep 0.1
            tries=$((tries + 1))
        done
        kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$dir/server.pid"
}

case "${1:-}" in
    start)
        dir=$(mktemp -d "${TMPDIR:-/tmp}/audio-server.XXXXXX")
        mkdir -p "$dir/home" "$dir/runtime" "$dir/state"
        chmod 700 "$dir" "$dir/runtime"
        # No autospawn: a client that loses the private server must not start another one.
        printf 'autospawn = no\n' >"$dir/client.conf"
        cat >"$dir/asound.conf" <<'EOF'
pcm.!default {
    type pulse
    hint.description "Default capture through the private sound server"
}
ctl.!default {
    type pulse
}
EOF
        if ! launch "$dir"; then
            stop_server "$dir"
            rm -rf "$dir"
            exit 1
        fi
        client_env "$dir"
        ;;
    stop)
        require_dir
        stop_server "$AUDIO_SERVER_DIR"
        rm -rf "$AUDIO_SERVER_DIR"
        ;;
    kill)
        require_dir
        stop_keeper "$AUDIO_SERVER_DIR"
        if [ -f "$AUDIO_SERVER_DIR/server.pid" ]; then
            kill -KILL "$(cat "$AUDIO_SERVER_DIR/server.pid")" 2>/dev/null || true
            rm -f "$AUDIO_SERVER_DIR/server.pid"
        fi
        ;;
    restart)
        require_dir
        stop_server "$AUDIO_SERVER_DIR"
        launch "$AUDIO_SERVER_DIR" || {
            stop_server "$AUDIO_SERVER_DIR"
            exit 1
        }
        ;;
    status)
        require_dir
        server_alive "$AUDIO_SERVER_DIR"
        ;;
    env)
        require_dir
        client_env "$AUDIO_SERVER_DIR"
        ;;
    *)
        echo "usage: $0 start|stop|kill|restart|status|env" >&2
        exit 2
        ;;
esac

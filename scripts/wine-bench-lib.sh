# shellcheck shell=bash
# The Wine test bench, sourced by wine-run.sh and wine-bench.sh.
#
# A bench lives in one folder (normally <build>/wine-bench):
#   prefix/        the Wine prefix            prefix-made  when it was made
#   xvfb.pid       our Xvfb, if we started it  display     its display number
#   lock           flock for every change     logs/        output of the set-up
#   tmp/           TMPDIR of every Wine process (its server's socket is there),
#                  new with each prefix
# Every process of the bench carries WINEPREFIX=<bench>/prefix in its
# environment, Xvfb included; that, not a name, is how they are found and
# stopped. Every Wine and X command runs under `timeout`, with its output in
# logs/ and the lock's descriptor closed, so that neither the lock nor the
# caller's pipes are held by daemons.

BENCH_LOCK_WAIT=${BENCH_LOCK_WAIT:-300}

bench_log() { printf 'wine-bench: %s\n' "$*" >&2; }
bench_die() {
    bench_log "$*"
    exit 1
}

# The build folder that holds a path: the nearest ancestor with CMakeCache.txt.
bench_build_dir_of() {
    local dir
    dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || return 1
    while [ "$dir" != / ]; do
        [ -f "$dir/CMakeCache.txt" ] && { echo "$dir"; return 0; }
        dir=$(dirname "$dir")
    done
    return 1
}

# Sets BENCH from ATUALIZADOR_BENCH, else from the build folder of $1.
bench_locate() {
    if [ -n "${ATUALIZADOR_BENCH:-}" ]; then
        BENCH=$ATUALIZADOR_BENCH
    else
        local build
        build=$(bench_build_dir_of "${1:-.}") ||
            bench_die "no build folder above '${1:-.}'; set ATUALIZADOR_BENCH"
        BENCH=$build/wine-bench
    fi
    mkdir -p "$BENCH/logs" "$BENCH/tmp"
    # The physical path: processes are matched on it, byte for byte.
    BENCH=$(cd "$BENCH" && pwd -P)
}

bench_export() {
    export WINEPREFIX="$BENCH/prefix"
    # Wine, as packaged here, keeps its server's socket under $TMPDIR. A
    # caller with a TMPDIR of its own (a test's scratch folder) would start a
    # second server for the same prefix, out of reach of `wineserver -k` and
    # alive long after that folder is gone: one TMPDIR for the whole bench.
    export TMPDIR="$BENCH/tmp"
    export WINEDEBUG=-all
    # No Mono/Gecko install prompts (they hang a new prefix), no menu entries;
    # and whatever a test adds (Wine reads this from each process's Linux
    # environment, so it must be set before the test's first Wine process).
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${BENCH_DLLOVERRIDES:+;$BENCH_DLLOVERRIDES}"
    export LC_ALL=C.UTF-8
    if [ -s "$BENCH/display" ]; then export DISPLAY=":$(cat "$BENCH/display")"; fi
}

bench_xvfb_alive() {
    local pid
    [ -s "$BENCH/xvfb.pid" ] || return 1
    pid=$(cat "$BENCH/xvfb.pid")
    [ -d "/proc/$pid" ] && grep -q Xvfb "/proc/$pid/cmdline" 2>/dev/null
}

bench_start_xvfb() {
    if bench_xvfb_alive; then
        [ -s "$BENCH/display" ] && return 0
        # Ours but it never told its display: start over.
        kill "$(cat "$BENCH/xvfb.pid")" 2>/dev/null || true
    fi
    rm -f "$BENCH/xvfb.pid" "$BENCH/display"
    # -displayfd lets the server take the first free display itself, so two
    # benches never race for a number. The shell records its own PID and
    # becomes Xvfb, so the PID is right even when setsid has to fork.
    local told="$BENCH/display.told"
    : >"$told"
    # It carries the prefix in its environment like the Wine processes, so
    # that it is found and stopped with them even without its PID file.
    WINEPREFIX="$BENCH/prefix" setsid sh -c 'echo $$ >"$1"; shift; exec "$@"' sh "$BENCH/xvfb.pid" \
        Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp \
        5>"$told" 9>&- </dev/null >"$BENCH/logs/xvfb.log" 2>&1 &
    local waited=0
    until [ -s "$told" ]; do
        [ $waited -ge 150 ] && bench_die "Xvfb gave no display within 15 s (see $BENCH/logs/xvfb.log)"
        if [ $waited -ge 10 ] && ! bench_xvfb_alive; then
            bench_die "Xvfb did not start (see $BENCH/logs/xvfb.log)"
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    tr -dc 0-9 <"$told" >"$BENCH/display"
    rm -f "$told"
    XVFB_RESTARTED=1
    bench_log "Xvfb pid $(cat "$BENCH/xvfb.pid") on :$(cat "$BENCH/display")"
}

bench_wine() {  # bench_wine SECONDS ARGS... : one Wine command, logged
    local seconds=$1
    shift
    timeout --kill-after=10 "$seconds" wine "$@" 9>&- </dev/null >>"$BENCH/logs/setup.log" 2>&1
}

# The virtual desktop's own process. Started by the first window of a
# session otherwise, it ends with the last program that had one, and the next
# program's first window then waits about 10 s for a new one. Kept running
# for the session instead; `wineserver -k` ends it.
bench_start_desktop() {
    setsid timeout 14400 wine explorer.exe /desktop=Default,1024x768 \
        9>&- </dev/null >>"$BENCH/logs/desktop.log" 2>&1 &
}

bench_start_server() {
    # A persistent server makes each later Wine start cost tens of
    # milliseconds instead of seconds. It refuses (status 2) when one runs.
    # A new server session starts Wine's services with the first program:
    # start them here, with our log as their output, or they would inherit
    # (and hold open for good) the output pipe of whichever test came first.
    if timeout 30 wineserver -p 9>&- </dev/null >>"$BENCH/logs/wineserver.log" 2>&1; then
        bench_wine 120 cmd.exe /c exit 0 || bench_die "Wine does not start (see $BENCH/logs/setup.log)"
        bench_start_desktop
    fi
}

bench_make_prefix() {
    [ -f "$BENCH/prefix-made" ] && [ -d "$BENCH/prefix" ] && return 0
    # A new prefix starts with nothing of an older one running, and with a
    # TMPDIR of its own: Wine finds a prefix's server by the folder's inode,
    # which a new folder may be given again.
    bench_stop_wine
    rm -rf "$BENCH/prefix" "$BENCH/prefix-made" "$BENCH/tmp"
    mkdir -p "$BENCH/prefix" "$BENCH/tmp"
    local started=$SECONDS
    timeout 30 wineserver -p 9>&- </dev/null >>"$BENCH/logs/wineserver.log" 2>&1 || true
    bench_wine 180 wineboot -i || bench_die "wineboot -i failed (see $BENCH/logs/setup.log)"
    # A crash must end the program, not wait on a dialog nobody will close.
    bench_wine 60 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f ||
        bench_die "cannot turn off crash dialogs"
    # A virtual desktop: without a window manager, Wine waits up to 2 s for
    # X to confirm each hidden top-level window (every closed message box);
    # inside its own desktop window it does not.
    bench_wine 60 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f &&
        bench_wine 60 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ \
            /d 1024x768 /f || bench_die "cannot set up the virtual desktop"
    # No sound: a message box's beep would probe for audio devices there are none of.
    bench_wine 60 reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f ||
        bench_die "cannot turn off sound"
    # Set-up may have started a desktop of its own, which ends when idle;
    # the next session starts the one that stays (bench_start_server).
    bench_stop_wine
    date +%s >"$BENCH/prefix-made"
    bench_log "prefix made in $((SECONDS - started)) s: $BENCH/prefix"
}

# Brings the bench up: Xvfb, prefix, persistent server. Idempotent.
bench_up() {
    (
        flock -w "$BENCH_LOCK_WAIT" 9 || bench_die "bench lock busy for ${BENCH_LOCK_WAIT} s"
        XVFB_RESTARTED=0
        bench_start_xvfb
        bench_export
        if [ "$XVFB_RESTARTED" = 1 ] && [ -d "$BENCH/prefix" ]; then
            # Wine processes still running draw on the old display.
            bench_stop_wine
        fi
        bench_make_prefix
        bench_start_server
    ) 9>"$BENCH/lock" || exit 1
    bench_export
}

# The bench's processes, "PID KIND" a line, whose environment holds exactly
# this bench's WINEPREFIX: Wine's (servers, services, the programs under
# test), the `timeout` every bench command runs under (it passes a stop on
# to a Wine program still starting), and Xvfb unless the argument is
# "wine". Another bench's prefix differs; the caller and its ancestors, and
# anything else (a shell that sourced the bench's variables), are left
# alone.
bench_pids() {
    local want="WINEPREFIX=$BENCH/prefix" mine=" " pid=$BASHPID environ exe
    while [ -n "$pid" ] && [ "$pid" -gt 1 ]; do
        mine+="$pid "
        pid=$(ps -o ppid= -p "$pid" 2>/dev/null | tr -d ' ')
    done
    for environ in $(grep -lzxF -- "$want" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case "$mine" in *" $pid "*) continue ;; esac
        exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || continue
        case "${exe##*/}" in
        wine*) echo "$pid wine" ;;
        timeout*) echo "$pid timeout" ;;
        Xvfb*) [ "${1:-}" = wine ] || echo "$pid Xvfb" ;;
        esac
    done
}

# Ends the bench's processes (bench_pids, same argument), and says which
# there were. `wineserver -k` reaches only the server of the prefix folder
# as it is now and of this TMPDIR: a server whose folder was deleted, or
# one started under another TMPDIR, and the Windows processes it served
# (they outlive their server), are reached only through their environment.
# Wine's get SIGKILL, as `wineserver -k` gives them (one asked to stop may
# wait on a server that is gone); `timeout` and Xvfb SIGTERM, so that one
# passes it on and the other removes its lock file. Done when two looks in
# a row find nothing.
bench_reap() {
    local found pid kind seen=" " names="" empty=0
    for _ in $(seq 60); do
        found=$(bench_pids "$@")
        if [ -z "$found" ]; then
            empty=$((empty + 1))
            [ $empty -ge 2 ] && break
        else
            empty=0
            while read -r pid kind; do
                case "$seen" in *" $pid "*) ;; *)
                    seen+="$pid "
                    names+=" $(cat "/proc/$pid/comm" 2>/dev/null)" ;;
                esac
                case $kind in
                wine) kill -KILL "$pid" 2>/dev/null ;;
                *) kill -TERM "$pid" 2>/dev/null ;;
                esac
            done <<<"$found"
        fi
        sleep 0.1
    done
    [ -z "$names" ] || bench_log "ended what was left:$names"
    [ -z "$found" ] || bench_log "still running after 6 s: $(tr '\n' ' ' <<<"$found")"
}

# Ends the bench's Wine server and every Wine process; Xvfb stays. The
# server first, the way Wine ends a session, then whatever it did not reach.
bench_stop_wine() {
    timeout 30 wineserver -k 9>&- </dev/null >/dev/null 2>&1 || true
    timeout 30 wineserver -w 9>&- </dev/null >/dev/null 2>&1 || true
    bench_reap wine
}

# Stops every process of the bench, Wine's and Xvfb. The prefix stays for
# inspection.
bench_down() {
    (
        flock -w "$BENCH_LOCK_WAIT" 9 || bench_die "bench lock busy for ${BENCH_LOCK_WAIT} s"
        bench_export
        bench_stop_wine
        if bench_xvfb_alive; then
            local pid
            pid=$(cat "$BENCH/xvfb.pid")
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do [ -d "/proc/$pid" ] || break; sleep 0.1; done
            [ -d "/proc/$pid" ] && kill -9 "$pid" 2>/dev/null
        fi
        rm -f "$BENCH/xvfb.pid" "$BENCH/display"
        bench_reap
    ) 9>"$BENCH/lock" || exit 1
}

# Throws away a prefix made before the given epoch second, so each test run
# starts from a new one; a prefix made since (by test discovery) is kept.
bench_renew_if_older() {
    local since=$1
    (
        flock -w "$BENCH_LOCK_WAIT" 9 || bench_die "bench lock busy for ${BENCH_LOCK_WAIT} s"
        bench_export
        if [ -d "$BENCH/prefix" ]; then
            local made=0
            [ -s "$BENCH/prefix-made" ] && made=$(cat "$BENCH/prefix-made")
            if [ "$made" -lt "$since" ]; then
                # Before the folder goes: a server outlives its folder, and
                # `wineserver -k` finds it by the folder.
                bench_stop_wine
                rm -rf "$BENCH/prefix" "$BENCH/prefix-made" "$BENCH/tmp"
                bench_log "old prefix removed"
            fi
        fi
    ) 9>"$BENCH/lock" || exit 1
}

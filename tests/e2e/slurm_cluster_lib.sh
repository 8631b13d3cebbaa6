# shellcheck shell=bash
# A one-node Slurm cluster for end-to-end tests, sourced by them: its own munge key and
# munged, its own slurm.conf, slurmctld and slurmd, all in one temporary folder, on ports no
# one listens on. Every Slurm command of the test reaches it through SLURM_CONF.
#
#   . slurm_cluster_lib.sh
#   slurm_cluster_require                 exits 77 (skip) unless root with slurm-wlm and munge
#   trap 'slurm_cluster_stop' EXIT
#   slurm_cluster_start [LINE...]         LINEs go at the end of slurm.conf (KillWait=2, ...)
#   sbatch ...
#   slurm_cluster_wait SECONDS [LOG...]   until every job has ended
#   slurm_cluster_jobs                    "ID NAME STATE CPUS WORKDIR", one job or task a line
#   slurm_cluster_wait_running JOB SECONDS
#   slurm_cluster_expire JOB              ends a running job through its time limit
#
# The daemons run as root (the jobs too); the folder is under /tmp because munged's socket and
# slurmd's step sockets live in it and a socket's path has at most 107 bytes.

slurm_cluster_require() {
    if [ "$(id -u)" -ne 0 ]; then
        echo "skipped: a Slurm cluster for the test needs root (slurmd runs the jobs as root)"
        exit 77
    fi
    local missing=() c
    for c in mungekey munged munge unmunge slurmctld slurmd sbatch squeue sinfo scontrol scancel; do
        command -v "$c" >/dev/null || missing+=("$c")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "skipped: no ${missing[*]} (the Debian packages slurm-wlm and munge; scripts/deps)"
        exit 77
    fi
}

# A TCP port on which nothing listens on this host, from the dynamic range.
_slurm_cluster_free_port() {
    local port tries
    for ((tries = 0; tries < 50; tries++)); do
        port=$((20000 + RANDOM % 30000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    echo "no free TCP port found for the Slurm daemons" >&2
    return 1
}

# Waits until the command succeeds, at most SECONDS; polls every fifth of a second.
_slurm_cluster_until() {
    local seconds=$1 i
    shift
    for ((i = 0; i < seconds * 5; i++)); do
        "$@" && return 0
        sleep 0.2
    done
    "$@"
}

_slurm_cluster_munge_answers() {
    munge -n -S "$SLURM_CLUSTER_DIR/munge/socket" 2>/dev/null |
        unmunge -S "$SLURM_CLUSTER_DIR/munge/socket" >/dev/null 2>&1
}

_slurm_cluster_node_idle() {
    [ "$(sinfo -h -N -n "$SLURM_CLUSTER_NODE" -o %T 2>/dev/null)" = idle ]
}

slurm_cluster_start() {
    # Run inside a job of another cluster, its variables would steer our commands (SBATCH_*
    # options, SQUEUE_FORMAT) and the job script (SLURM_ARRAY_TASK_ID).
    local var
    for var in $(compgen -e); do
        case $var in SLURM_* | SBATCH_* | SALLOC_* | SRUN_* | SQUEUE_* | SINFO_* | SCANCEL_*)
            unset "$var" ;;
        esac
    done
    SLURM_CLUSTER_DIR=$(mktemp -d /tmp/lv-slurm.XXXXXX)
    local dir=$SLURM_CLUSTER_DIR
    # munged wants every user to be able to pass through to its socket.
    chmod 711 "$dir"
    mkdir -m 755 "$dir/munge"
    mkdir "$dir/state" "$dir/spool" "$dir/log"

    # Our own key, so that no other munged (a real cluster's) vouches for our jobs.
    mungekey --create --keyfile="$dir/munge/munge.key"
    # The daemons run in the foreground as this shell's children, so that it reaps them when
    # they stop; they still write their pid files, by which they are stopped. munged in the
    # foreground logs to its standard error only.
    munged --foreground --socket="$dir/munge/socket" --key-file="$dir/munge/munge.key" \
        --pid-file="$dir/munged.pid" --seed-file="$dir/munge/seed" \
        </dev/null >>"$dir/log/munged.log" 2>&1 &
    if ! _slurm_cluster_until 10 _slurm_cluster_munge_answers; then
        echo "munged does not answer on $dir/munge/socket" >&2
        slurm_cluster_diagnose
        return 1
    fi

    local host ctld_port slurmd_port
    host=$(hostname -s)
    ctld_port=$(_slurm_cluster_free_port)
    slurmd_port=$(_slurm_cluster_free_port)
    while [ "$slurmd_port" = "$ctld_port" ]; do slurmd_port=$(_slurm_cluster_free_port); done
    SLURM_CLUSTER_NODE=$host
    # No systemd and maybe no usable cgroups here: jobs are tracked through /proc, neither
    # bound to processors nor accounted. Addresses are the loopback's, whatever the host's
    # name resolves to.
    {
        echo "ClusterName=${host,,}"
        echo "SlurmctldHost=$host(127.0.0.1)"
        echo "SlurmctldPort=$ctld_port"
        echo "SlurmdPort=$slurmd_port"
        echo "SlurmUser=root"
        echo "SlurmdUser=root"
        echo "AuthType=auth/munge"
        echo "CredType=cred/munge"
        echo "AuthInfo=socket=$dir/munge/socket"
        echo "StateSaveLocation=$dir/state"
        echo "SlurmdSpoolDir=$dir/spool"
        echo "SlurmctldPidFile=$dir/slurmctld.pid"
        echo "SlurmdPidFile=$dir/slurmd.pid"
        echo "SlurmctldLogFile=$dir/log/slurmctld.log"
        echo "SlurmdLogFile=$dir/log/slurmd.log"
        echo "ProctrackType=proctrack/linuxproc"
        echo "TaskPlugin=task/none"
        echo "JobAcctGatherType=jobacct_gather/none"
        echo "AccountingStorageType=accounting_storage/none"
        echo "JobCompType=jobcomp/none"
        echo "SelectType=select/cons_tres"
        echo "SelectTypeParameters=CR_CPU"
        echo "MpiDefault=none"
        echo "ReturnToService=2"
        # A job starts as soon as the processors are free, not in the next batch 3 s later.
        echo "SchedulerParameters=batch_sched_delay=0"
        echo "KillWait=5"
        echo "NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN"
        echo "PartitionName=lv Nodes=ALL Default=YES MaxTime=INFINITE State=UP"
        local line
        for line in "$@"; do echo "$line"; done
    } >"$dir/slurm.conf"
    export SLURM_CONF=$dir/slurm.conf

    slurmctld -D -f "$SLURM_CONF" </dev/null >>"$dir/log/slurmctld.out" 2>&1 &
    slurmd -D -f "$SLURM_CONF" -N "$host" </dev/null >>"$dir/log/slurmd.out" 2>&1 &
    if ! _slurm_cluster_until 30 _slurm_cluster_node_idle; then
        echo "node $host of the test's Slurm cluster is not idle after 30 s" >&2
        slurm_cluster_diagnose
        return 1
    fi
}

# "ID NAME STATE CPUS WORKDIR" for every job and every array task the controller knows.
slurm_cluster_jobs() {
    squeue -h -r -t all -o '%i %j %T %C %Z'
}

_slurm_cluster_all_ended() {
    local states
    states=$(squeue -h -r -t all -o %T) || return 1
    [ -z "$states" ] && return 0
    local ended='COMPLETED|CANCELLED|FAILED|TIMEOUT|NODE_FAIL|PREEMPTED|BOOT_FAIL|DEADLINE'
    ! grep -qvxE "$ended|OUT_OF_MEMORY" <<<"$states"
}

# Waits until every job has ended, at most SECONDS; otherwise prints the cluster's state,
# its daemons' logs and the LOGs given (files, or folders whose *.out are the jobs' logs).
slurm_cluster_wait() {
    local seconds=$1
    shift
    _slurm_cluster_until "$seconds" _slurm_cluster_all_ended && return 0
    echo "the jobs have not ended after $seconds s" >&2
    slurm_cluster_diagnose "$@"
    return 1
}

_slurm_cluster_running() {
    [ "$(squeue -h -t all -j "$1" -o %T 2>/dev/null)" = RUNNING ]
}

# Waits until JOB (an id, or ID_TASK for an array task) runs, at most SECONDS.
slurm_cluster_wait_running() {
    local job=$1 seconds=$2
    _slurm_cluster_until "$seconds" _slurm_cluster_running "$job" && return 0
    echo "job $job is not running after $seconds s" >&2
    slurm_cluster_diagnose
    return 1
}

# Ends a running JOB the way its time limit does: the controller, at its next check of time
# limits (every 30 s at most), sends the job's processes SIGTERM, then SIGKILL KillWait
# seconds later, and the job's state becomes TIMEOUT. A limit shorter than a minute cannot be
# asked for, so this lowers the limit of the running job to zero.
slurm_cluster_expire() {
    scontrol update JobId="$1" TimeLimit=0
}

slurm_cluster_diagnose() {
    {
        echo "--- squeue (every job and array task: id, name, state, reason, CPUs, run time)"
        squeue -h -r -t all -o '%i %j %T %r %C %M' 2>&1
        echo "--- sinfo"
        sinfo -N -l 2>&1
        local f path logs=() name
        # A Slurm daemon's .out holds what it wrote before its log file was open, then the log
        # again.
        for name in munged slurmctld slurmd; do
            if [ -s "$SLURM_CLUSTER_DIR/log/$name.log" ]; then
                logs+=("$SLURM_CLUSTER_DIR/log/$name.log")
            else
                logs+=("$SLURM_CLUSTER_DIR/log/$name.out")
            fi
        done
        for path in "${logs[@]}" "$@"; do
            if [ -d "$path" ]; then
                for f in $(find "$path" -name '*.out' | sort); do
                    echo "--- $f"
                    tail -n 40 "$f"
                done
            elif [ -f "$path" ]; then
                echo "--- $path"
                tail -n 40 "$path"
            fi
        done
    } >&2
}

# Stops what slurm_cluster_start started: cancels every job, stops slurmd, slurmctld and
# munged by their pid files, waits for each to go, and removes the folder. Safe to call
# more than once, or when the start failed halfway. Fails if a process outlives SIGKILL.
slurm_cluster_stop() {
    local dir=${SLURM_CLUSTER_DIR:-}
    [ -n "$dir" ] && [ -d "$dir" ] || return 0
    local status=0 name
    if [ -f "$dir/slurmctld.pid" ] && _slurm_cluster_alive "$(<"$dir/slurmctld.pid")"; then
        scancel --quiet --user="$(id -un)" 2>/dev/null || true
        _slurm_cluster_until 15 _slurm_cluster_all_ended 2>/dev/null ||
            echo "some jobs did not end when cancelled" >&2
    fi
    for name in slurmd slurmctld munged; do
        _slurm_cluster_stop_daemon "$dir/$name.pid" "$name" || status=1
    done
    _slurm_cluster_kill_strays "$dir" || status=1
    if [ $status -eq 0 ]; then
        rm -rf "$dir"
        unset SLURM_CLUSTER_DIR SLURM_CONF
    else
        echo "left $dir for a look" >&2
    fi
    return $status
}

# A scratch folder, $work, and traps that stop the cluster and remove it however the test
# ends (its own exit status kept, or 1 when the cluster would not stop).
slurm_cluster_scratch() {
    work=$(mktemp -d)
    trap _slurm_cluster_finish EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

_slurm_cluster_finish() {
    local status=$?
    slurm_cluster_stop || status=1
    rm -rf "$work"
    exit $status
}

# True while PID is a live process (a zombie has gone: it only waits for its reaper).
_slurm_cluster_alive() {
    [ -r "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z ' "/proc/$1/stat" 2>/dev/null
}

_slurm_cluster_gone() {
    ! _slurm_cluster_alive "$1"
}

_slurm_cluster_stop_daemon() {
    local pidfile=$1 name=$2 pid
    [ -f "$pidfile" ] || return 0
    pid=$(<"$pidfile")
    # The pid file may outlive its daemon, and the pid may be another process's by now.
    _slurm_cluster_alive "$pid" && grep -q "$name" "/proc/$pid/cmdline" 2>/dev/null || return 0
    kill -TERM "$pid" 2>/dev/null || true
    if ! _slurm_cluster_until 15 _slurm_cluster_gone "$pid"; then
        echo "$name (pid $pid) did not stop on SIGTERM; killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
        if ! _slurm_cluster_until 5 _slurm_cluster_gone "$pid"; then
            echo "$name (pid $pid) outlived SIGKILL" >&2
            return 1
        fi
    fi
    # Reaps it when it is this shell's child (it has gone: this does not block).
    wait "$pid" 2>/dev/null || true
}

# True if one of the NUL-separated strings of FILE (a process's environ or cmdline) holds TEXT.
_slurm_cluster_mentions() {
    local item
    while IFS= read -r -d '' item; do
        [[ $item == *"$2"* ]] && return 0
    done 2>/dev/null <"$1"
    return 1
}

# Any process started for the cluster that is still there (a step daemon or a job's process
# that slurmd lost) has the cluster's slurm.conf in its environment or on its command line.
_slurm_cluster_kill_strays() {
    local dir=$1 proc pid strays=()
    for proc in /proc/[0-9]*; do
        pid=${proc#/proc/}
        if [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ]; then continue; fi
        if { _slurm_cluster_mentions "$proc/environ" "$dir/slurm.conf" ||
            _slurm_cluster_mentions "$proc/cmdline" "$dir/slurm.conf"; } &&
            _slurm_cluster_alive "$pid"; then
            strays+=("$pid")
        fi
    done
    [ ${#strays[@]} -eq 0 ] && return 0
    echo "processes of the test's cluster left behind, killed:" >&2
    ps -o pid,args -p "${strays[@]}" >&2 || true
    kill -KILL "${strays[@]}" 2>/dev/null || true
    sleep 0.5
    for pid in "${strays[@]}"; do
        ! _slurm_cluster_alive "$pid" || return 1
    done
}

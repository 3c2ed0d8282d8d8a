#!/usr/bin/env bash
# Runs hollisvc (HOLLISVC below) as the packaged unit would, as far as that can be done
# without systemd: as root with CAP_DAC_READ_SEARCH alone, no new privileges, a
# read-only system except the data folder (for the demo's event log), private /tmp,
# its own IPC and host name, and a data file that belongs to nobody and is readable by
# its owner only. Needs root. Use: HOLLISVC=build/src/service/hollisvc
# build/tools/demo/hollimere_demo tools/demo/sandboxed_hollisvc.sh
set -euo pipefail
HOLLISVC=${HOLLISVC:?path of hollisvc}
data=${HOLLIMERE_DATA_DIR:?}
chown nobody: "$data/HOLLISVC.ini"
chmod 600 "$data/HOLLISVC.ini"
exec unshare --mount --ipc --uts --propagation private -- bash -c '
    set -e
    data=$1; shift
    mount --bind "$data" "$data"
    mount -o remount,bind,ro /
    mount -t tmpfs -o mode=1777 tmpfs /tmp 2>/dev/null || true
    exec setpriv --no-new-privs --inh-caps=-all --bounding-set=-all,+dac_read_search -- "$@"
' sandbox "$data" "$HOLLISVC" "$@"

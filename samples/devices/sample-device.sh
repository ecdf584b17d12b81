#!/bin/sh
# Runs a sample printer's SNMP agent (Debian's snmpd) on a loopback port and
# switches it between states while it runs.
#
#   sample-device.sh start [PORT]   start the agent (default port 16161)
#   sample-device.sh state STATE    ready, tray-empty, toner-low, jammed or down
#   sample-device.sh states         list the states
#   sample-device.sh stop           stop the agent
#
# DEVICE picks the sample (default CX5540, the folder beside this script);
# RUN_DIR holds the agent's files (default /tmp/sample-device-$USER).
# The agent answers the community "quince" on 127.0.0.1 only. To ask it
# through the package, install a printer whose port names 127.0.0.1 and let
# printhost send port 161 to the agent's port:
#   printhost install --name Office --model build/dev/models/CX5540.DAT --port IP_127.0.0.1
#   printhost device Office --agent-port 16161
set -eu

here=$(cd "$(dirname "$0")" && pwd)
device=${DEVICE:-CX5540}
source_dir=$here/$device
run_dir=${RUN_DIR:-/tmp/sample-device-${USER:-user}}
snmpd=${SNMPD:-/usr/sbin/snmpd}

usage() {
    sed -n '2,18s/^# \{0,1\}//p' "$0" >&2
    exit 2
}

[ -d "$source_dir" ] || { echo "no sample device '$device' in $here" >&2; exit 1; }

# The device's rows with a state's rows laid over them, in identifier order.
compose() {
    state_file=$source_dir/states/$1.rows
    [ -f "$state_file" ] || { echo "unknown state '$1' (see: $0 states)" >&2; exit 1; }
    awk -F'|' '!/^#/ && NF == 3 { row[$1] = $0 } END { for (k in row) print row[k] }' \
        "$source_dir/device.rows" "$state_file" | sort -t'|' -k1,1V
}

# snmpd's pass protocol (-g OID: that object; -n OID: the next one) over the
# current rows below one root.
write_pass_script() {
    cat > "$run_dir/pass.sh" <<'SCRIPT'
#!/bin/sh
root=$1 mode=$2 req=$3
awk -F'|' -v root="$root" -v mode="$mode" -v req="$req" '
function cmp(a, b,   x, y, n, m, i) {
  sub(/^\./, "", a); sub(/^\./, "", b)
  n = split(a, x, "."); m = split(b, y, ".")
  for (i = 1; i <= n && i <= m; i++) { if (x[i] + 0 < y[i] + 0) return -1; if (x[i] + 0 > y[i] + 0) return 1 }
  return n < m ? -1 : n > m ? 1 : 0
}
index($1 ".", root ".") != 1 { next }
{ c = cmp($1, req)
  if ((mode == "-g" && c == 0) || (mode == "-n" && c > 0)) { print "." $1; print $2; print $3; exit } }
' "$(dirname "$0")/current.rows"
SCRIPT
}

case ${1:-} in
start)
    port=${2:-16161}
    mkdir -p "$run_dir"
    if [ -f "$run_dir/snmpd.pid" ] && kill -0 "$(cat "$run_dir/snmpd.pid")" 2>/dev/null; then
        echo "already running (pid $(cat "$run_dir/snmpd.pid"))" >&2
        exit 1
    fi
    compose ready > "$run_dir/current.rows"
    write_pass_script
    {
        echo "agentaddress udp:127.0.0.1:$port"
        grep -v '^#' "$source_dir/roots" | while read -r root; do echo "view device included .$root"; done
        echo "rocommunity quince 127.0.0.1 -V device"
        grep -v '^#' "$source_dir/roots" | while read -r root; do
            echo "pass -p 1 .$root /bin/sh $run_dir/pass.sh $root"
        done
    } > "$run_dir/agent.conf"
    SNMP_PERSISTENT_DIR=$run_dir/persist MIBS= "$snmpd" -f -Lf "$run_dir/snmpd.log" -C -c "$run_dir/agent.conf" \
        -p "$run_dir/snmpd.pid" &
    echo "$device answering on udp:127.0.0.1:$port (state ready); log: $run_dir/snmpd.log"
    ;;
state)
    [ $# -eq 2 ] || usage
    [ -d "$run_dir" ] || { echo "not started" >&2; exit 1; }
    # A complete new table replaces the old one: the agent never reads half of it.
    compose "$2" > "$run_dir/current.rows.new"
    mv "$run_dir/current.rows.new" "$run_dir/current.rows"
    echo "$device is now $2"
    ;;
states)
    for f in "$source_dir"/states/*.rows; do basename "$f" .rows; done
    ;;
stop)
    [ -f "$run_dir/snmpd.pid" ] || { echo "not running" >&2; exit 1; }
    kill "$(cat "$run_dir/snmpd.pid")"
    rm -f "$run_dir/snmpd.pid"
    ;;
*)
    usage
    ;;
esac

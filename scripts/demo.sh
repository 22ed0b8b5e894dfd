#!/usr/bin/env bash
# A coverage map from a generated drive-test log (in BUILD/demo-coverage),
# then live traffic on this machine only: the transceiver emulator plays four
# transceivers on 127.0.0.1 to 127.0.0.4, and Zelvar runs with a throw-away
# settings store that points at them. Choose Analysis > Start Monitoring
# (Ctrl+M) to watch the packages come in.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
port=${ZELVAR_DEMO_PORT:-4064}
scratch=$(mktemp -d)
sim_pid=
gps_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  [ -n "$gps_pid" ] && kill "$gps_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

mkdir -p "$scratch/config/Kavren" "$scratch/work"

# A coverage map at once: a drive-test log along the GPS emulator's walk and
# its exports; the log also waits in the working folder for File > Export
# Coverage... to offer.
"$root/scripts/coverage-demo.sh" "$build" "$root/$build/demo-coverage"
cp "$root/$build/demo-coverage/drive-test.txt" "$scratch/work/"
cat >"$scratch/config/Kavren/Zelvar.conf" <<CONF
[General]
IP1=127.0.0.1
IP2=127.0.0.2
IP3=127.0.0.3
IP4=127.0.0.4
Port1=$port
Port2=$port
Port3=$port
Port4=$port
Editor=0
TimeOut=2
CONF

"$root/$build/tools/zelvar-sim/zelvar-sim" --generate --rate 40 --port "$port" \
  --ready-file "$scratch/ready" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do [ -e "$scratch/ready" ] && break; sleep 0.1; done

# A GPS receiver on a pseudo-terminal, offered in the "Port:" box and chosen.
"$root/$build/tools/zelvar-gps-sim/zelvar-gps-sim" >"$scratch/gps-port" &
gps_pid=$!
gps_port=
for _ in $(seq 50); do read -r gps_port <"$scratch/gps-port" && break; sleep 0.1; done
[ -n "$gps_port" ] || { echo "demo: zelvar-gps-sim did not start" >&2; exit 1; }
echo "numCom=$gps_port" >>"$scratch/config/Kavren/Zelvar.conf"
export ZELVAR_SERIAL_PORTS="$gps_port"
# Shows what "Set System Time From the GPS" would set; the clock stays as it is.
export ZELVAR_DEMO_CLOCK=1

echo "GPS receiver on $gps_port: press Start GPS."
echo "Transceivers play on 127.0.0.1-4:$port. Choose Analysis > Start Monitoring (Ctrl+M)."
(cd "$scratch/work" && XDG_CONFIG_HOME="$scratch/config" "$root/$build/app/Zelvar")

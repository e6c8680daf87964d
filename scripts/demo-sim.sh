# Sourced by the demo scripts: starts the gateway simulator on 127.0.0.1 (a free port) with
# its root in "$WORK/gateway" and sets SIM_PID and PORT. Needs BUILD and WORK.
: >"$WORK/sim.out"  # exists before the simulator writes to it: the polling below reads it
"$BUILD/tools/gateway-sim/gateway-sim" --root "$WORK/gateway" --port 0 \
  --version-text 'KELMORA GW V300R001\nbuild 2024-01\n' --reboot-refuse-ms 2000 >"$WORK/sim.out" 2>&1 &
SIM_PID=$!
PORT=""
for _ in $(seq 1 100); do
  PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/sim.out")
  [ -n "$PORT" ] && break
  sleep 0.05
done
if [ -z "$PORT" ]; then
  echo "the gateway simulator did not start:" >&2
  cat "$WORK/sim.out" >&2
  exit 1
fi

#!/usr/bin/env bash
# Cross-builds the Windows core with mingw-w64 and runs its tests under Wine:
# libHexalinkVRX7300.dll (its export table must hold exactly the 17 API
# functions), hxsim.exe, hxctl.exe, marqora-core and the tests that need no
# Qt, then a UDP round trip between hxctl.exe and hxsim.exe on 127.0.0.1.
# Builds into build-windows/ (MARQORA_WINDOWS_DIR=name for another folder);
# Wine's prefix lives in that folder. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "$0")/common.sh"

WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 googletest)
install_missing "${WINDOWS_PACKAGES[@]}"

folder=${MARQORA_WINDOWS_DIR:-build-windows}
out="$ROOT/$folder"
export WINEPREFIX="$out/wine" WINEDEBUG=-all
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT

echo "== cross-build ($folder)"
build "$folder" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake"

echo "== export table of libHexalinkVRX7300.dll"
expected="HX_Close HX_ComInitial HX_GetFileDateTime HX_GetLEDConfig HX_GetNetConfig HX_GetPlayInfo
HX_LoadFromFile HX_MD HX_NetInitial HX_NewCRC HX_ReceiveData HX_RemoveFile HX_Reset HX_SaveToFile
HX_SendData HX_ShowString HX_TurnVGA"
exports=$(x86_64-w64-mingw32-objdump -p "$out/bin/libHexalinkVRX7300.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[ *[0-9]+\]/ {print $NF}' | sort)
echo "$exports" | tr '\n' ' '; echo
if [ "$(echo "$exports" | tr '\n' ' ')" != "$(echo $expected) " ]; then
    echo "The DLL must export exactly the 17 HX_ functions." >&2
    exit 1
fi




echo "== hxctl.exe against hxsim.exe over UDP"
disk="$out/roundtrip"
rm -rf "$disk" && mkdir -p "$disk/disk"
"$wine" "$out/bin/hxsim.exe" --disk "$disk/disk" --udp 127.0.0.1:0 --name WINSIM >"$disk/ready" 2>&1 &
sim_pid=$!
for _ in $(seq 600); do grep -q "hxsim ready" "$disk/ready" && break; sleep 0.1; done
port=$(sed -n 's/.*udp=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$disk/ready" | tr -d '\r')
[ -n "$port" ] || { echo "hxsim.exe did not start: $(cat "$disk/ready")" >&2; exit 1; }
head -c 5000 /dev/urandom >"$disk/up.bin"
link=(--ip 127.0.0.1 --port "$port" --timeout 2)
"$wine" "$out/bin/hxctl.exe" "${link[@]}" info | tr -d '\r' | tee "$disk/info"
grep -qx "name WINSIM" "$disk/info"
"$wine" "$out/bin/hxctl.exe" "${link[@]}" put C "$disk/up.bin" UP.BIN
"$wine" "$out/bin/hxctl.exe" "${link[@]}" get C UP.BIN "$disk/down.bin"
cmp "$disk/up.bin" "$disk/disk/C/UP.BIN"
cmp "$disk/up.bin" "$disk/down.bin"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=
echo "round trip of 5000 bytes: ok"

echo "== tests under Wine"
ctest --test-dir "$out" --output-on-failure -j 2

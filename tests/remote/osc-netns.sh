#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the OSC network test between two network namespaces of its own, joined by a veth pair:
# the board's socket in one, the sender's in the other. Nothing leaves them. Needs root (CI);
# elsewhere the test is skipped.   Usage: osc-netns.sh TEST-BINARY [ITS ARGUMENTS]
# (SONAVEX_NETNS_TIMEOUT: seconds it may run, 50 unless set)
set -euo pipefail
test_bin="$1"
if [ "$(id -u)" -ne 0 ] || ! command -v ip >/dev/null; then
  echo "osc-netns: skipped: needs root and ip"
  exit 77
fi
board="sonavex-osc-$$-board"
sender="sonavex-osc-$$-sender"
cleanup() {
  ip netns del "$board" 2>/dev/null || true
  ip netns del "$sender" 2>/dev/null || true
}
trap cleanup EXIT
if ! ip netns add "$board" || ! ip netns add "$sender"; then
  echo "osc-netns: skipped: network namespaces cannot be made here"
  exit 77
fi
ip link add vboard netns "$board" type veth peer name vsender netns "$sender"
ip -n "$board" addr add 10.201.23.1/24 dev vboard
ip -n "$sender" addr add 10.201.23.2/24 dev vsender
for ns in "$board" "$sender"; do
  ip -n "$ns" link set lo up
done
ip -n "$board" link set vboard up
ip -n "$sender" link set vsender up

SONAVEX_NETNS_BOARD="$board" SONAVEX_NETNS_SENDER="$sender" \
  SONAVEX_NETNS_BOARD_IP=10.201.23.1 SONAVEX_NETNS_SENDER_IP=10.201.23.2 \
  timeout "${SONAVEX_NETNS_TIMEOUT:-50}" "$test_bin" "${@:2}"

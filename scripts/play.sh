#!/usr/bin/env bash
# Builds The Flurber with its default asset pack and starts it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
flurber_install
cmake -S "$FLURBER_ROOT" -B "$FLURBER_ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$FLURBER_ROOT/build" --target flurber
cd "$FLURBER_ROOT/build/run"
exec ./flurber

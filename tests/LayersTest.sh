#!/bin/sh
# Fails on a project include that points up or sideways between the floors:
# runtime <- platform <- socket <- printer, server, tray (not each other) <- core.
cd "$(dirname "$0")/.." || exit 2
below() {
    case $1 in
    runtime) echo "runtime" ;;
    platform) echo "runtime platform" ;;
    socket) echo "runtime platform socket" ;;
    printer | server | tray) echo "runtime platform socket $1" ;;
    core) echo "runtime platform socket printer server tray core" ;;
    esac
}
status=0
for floor in runtime platform socket printer server tray core; do
    for file in "$floor"/*.h "$floor"/*.cpp; do
        for included in $(sed -n 's@^#include "\([a-z]*\)/.*@\1@p' "$file"); do
            case " $(below "$floor") " in
            *" $included "*) ;;
            *) echo "$file includes $included/" && status=1 ;;
            esac
        done
    done
done
exit $status

#!/usr/bin/env bash
# Runs a test of 32-bit Windows code when this machine can run it (wine32 under qemu-i386,
# through binfmt_misc); otherwise reports the test skipped, with the reason, and never passed.
entry=/proc/sys/fs/binfmt_misc/qemu-i386
if [ ! -x /usr/lib/wine/wine ]; then
  echo "SKIPPED: the 32-bit Wine loader (Debian's wine32:i386) is not installed"
  exit 77
fi
if [ ! -e "$entry" ]; then
  echo "SKIPPED: no qemu-i386 entry in binfmt_misc (tools/setup could not register one)"
  exit 77
fi
if ! grep -qx enabled "$entry"; then
  echo "SKIPPED: the qemu-i386 entry in binfmt_misc is disabled"
  exit 77
fi
exec "$@"

#!/usr/bin/env bash
# Fails when a shipped installer holds the name of an environment variable of
# the installer's own (BRISKO_...), which would be a switch that anyone could
# set before starting it with administrator rights. The test variant, which
# does read one, must be found out by the same check.
# Usage: check-no-environment.sh SHIPPED.exe... -- TEST_VARIANT.exe
set -u
status=0
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  names=$(strings -a "$1" | grep -o 'BRISKO_[A-Z0-9_]*' | sort -u)
  if [ -n "$names" ]; then
    echo "FAIL: $1 names environment variables: $names"
    status=1
  else
    echo "ok: $1 names no environment variable of its own"
  fi
  shift
done
shift
for variant in "$@"; do
  if ! strings -a "$variant" | grep -q 'BRISKO_FAIL'; then
    echo "FAIL: the check does not find BRISKO_FAIL in the test variant $variant"
    status=1
  fi
done
exit $status

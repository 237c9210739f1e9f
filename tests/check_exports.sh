#!/bin/sh
# The plug-in exports GetType and InitDLL unmangled plus the Kel_Crumple class
# (its members, const ones included), and nothing else. check_exports.sh <library> [objdump]: an ELF library is
# read with nm, a DLL's export table with the given (MinGW) objdump.
set -u
lib="$1"
case "$lib" in
  *.dll)
    objdump="${2:-objdump}"
    # Names in the export table; on 32-bit x86 a stdcall entry would show up
    # decorated (GetType@0) and fail the exact match below.
    syms=$("$objdump" -p "$lib" | awk '
      /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
      table && /^[[:space:]]*\[/ { print $NF; next }
      table && NF == 0 { table = 0 }')
    dll=$("$objdump" -p "$lib" | awk '/^Name / { print $NF; exit }')
    [ "$dll" = "Crumple.dll" ] || { echo "export table names '$dll', not Crumple.dll"; exit 1; } ;;
  *)
    syms=$(nm -D --defined-only "$lib" | awk '{print $3}') ;;
esac
[ -n "$syms" ] || { echo "no exports read from $lib"; exit 1; }
fail=0
for name in GetType InitDLL; do
  echo "$syms" | grep -qx "$name" || { echo "missing unmangled export: $name"; fail=1; }
done
for name in _ZTV11Kel_Crumple _ZN11Kel_CrumpleC1Ev _ZN11Kel_CrumpleC1ERKS_ _ZN11Kel_CrumpleaSERKS_ \
            _ZN11Kel_CrumpleD0Ev _ZN11Kel_CrumpleD1Ev _ZN11Kel_Crumple10iMassShoreE \
            _ZN11Kel_Crumple21iDefaultImpactDividerE _ZN11Kel_Crumple23iDefaultChangedVertexesE \
            _ZN11Kel_Crumple19iDefaultNewVertexesE _ZN11Kel_Crumple21iDefaultVertexInRangeE \
            _ZN11Kel_Crumple18iDefaultNewIndexesE _ZN11Kel_Crumple22iDefaultIndexesInRangeE \
            _ZN11Kel_Crumple11ClearDamageEv _ZN11Kel_Crumple11CallChannelEv; do
  echo "$syms" | grep -qx "$name" || { echo "missing class export: $name"; fail=1; }
done
others=$(echo "$syms" | grep -v -x -e GetType -e InitDLL | grep -v -e '^_ZNK\{0,1\}11Kel_Crumple' -e '^_ZT[VIS]11Kel_Crumple$' | grep -v '^$')
if [ -n "$others" ]; then
  echo "unexpected exports:"; echo "$others"; fail=1
fi
[ $fail -eq 0 ] && echo "exports: GetType, InitDLL and Kel_Crumple only"
exit $fail

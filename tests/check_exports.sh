#!/bin/sh
# The plug-in exports GetType and InitDLL unmangled plus the Kel_Crumple class,
# and nothing else.
set -u
lib="$1"
syms=$(nm -D --defined-only "$lib" | awk '{print $3}')
fail=0
for name in GetType InitDLL; do
  echo "$syms" | grep -qx "$name" || { echo "missing unmangled export: $name"; fail=1; }
done
for name in _ZTV11Kel_Crumple _ZN11Kel_CrumpleC1Ev _ZN11Kel_CrumpleC1ERKS_ _ZN11Kel_CrumpleaSERKS_ \
            _ZN11Kel_CrumpleD0Ev _ZN11Kel_CrumpleD1Ev _ZN11Kel_Crumple10iMassShoreE \
            _ZN11Kel_Crumple21iDefaultImpactDividerE _ZN11Kel_Crumple23iDefaultChangedVertexesE \
            _ZN11Kel_Crumple19iDefaultNewVertexesE _ZN11Kel_Crumple21iDefaultVertexInRangeE \
            _ZN11Kel_Crumple18iDefaultNewIndexesE _ZN11Kel_Crumple22iDefaultIndexesInRangeE; do
  echo "$syms" | grep -qx "$name" || { echo "missing class export: $name"; fail=1; }
done
others=$(echo "$syms" | grep -v -x -e GetType -e InitDLL | grep -v -e '11Kel_Crumple' | grep -v '^$')
if [ -n "$others" ]; then
  echo "unexpected exports:"; echo "$others"; fail=1
fi
[ $fail -eq 0 ] && echo "exports: GetType, InitDLL and Kel_Crumple only"
exit $fail

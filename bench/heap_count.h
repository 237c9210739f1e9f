// Heap use of the benchmark process, counted by its own operator new and
// delete (the plug-in's allocations resolve to them too), so a benchmark can
// tell what one hit allocates at its peak and what it keeps.
#pragma once

struct HeapMark {
    long long held;
};

// Starts a measurement: the bytes held now, and the peak reset to them.
HeapMark MarkHeap();
// Most bytes held at once since the mark, beyond those held at it.
long long PeakSince(const HeapMark& mark);
// Bytes held now beyond those held at the mark (negative when freed).
long long HeldSince(const HeapMark& mark);

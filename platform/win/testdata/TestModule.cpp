// A module for the loading tests: two entries, nothing else of its own.
extern "C" int FindRec(int a, int b, int c, int d, int e) { return a + b + c + d + e; }
extern "C" int Plain() { return 42; }

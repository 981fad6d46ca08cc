#pragma once
// The word a benchmark prints beside a goal.
inline const char* verdict(bool met) { return met ? "PASS" : "MISS"; }

// The choices a compiled matcher is built with. Callers leave both
// automatic; the tests force each one, since every choice must find the same
// matches.
#pragma once

#include <cstdint>

// How the states are laid out. Every layout finds the same matches.
enum class MatcherLayout : uint8_t {
    Automatic, // a double array when it can be one, else records with rows in wide states
    Records, // records without rows
    Rows, // records, with a row in every state that has more than one child
    DoubleArray, // a double array when it can be one, else as Automatic
};

// How a scan finds the longest before-string at each position it visits.
enum class ScanMethod : uint8_t {
    Automatic, // forward walks, handing stretches where they fail deep down to the reverse automaton
    Reverse, // the reverse automaton throughout
};

// Single-letter option scanner shared by every program of the suite.
//
// Differences from the usual getopt, all of them part of every program's
// command-line syntax: a lone "-" ends the scan and is consumed, any element
// beginning with two switch characters ends the scan and is consumed, and the
// arguments are never permuted.
#pragma once

extern int option_index;             // next element to examine; first operand once the scan ended
extern const char* option_argument;  // argument of the option last returned, or null
extern const char* option_cursor;    // next letter inside a cluster such as -lu, or null
extern int option_errors;            // non-zero: errors are reported with perror
extern char option_switch;           // character that introduces an option element

// Returns the next option letter (1..255), '?' on an error, -1 when the
// options are done.  spec lists the letters; a letter followed by ':' takes
// an argument.
int get_option(int count, char* const elements[], const char* spec);

// Puts the scanner back to its process-start state, so that tests and fuzz
// targets can scan several command lines in one process.
void reset_option_scanner();

#pragma once

#include <QByteArray>

// The journal is UTF-8 text with LF line ends, one entry a line, fields separated by ";":
//   Velan recovery journal 1
//   owner;<text>                (the program that keeps it: none for the window's, else
//                                "velan record, COM <n>, parts into <folder>")
//   experiment;<text>            start;<date and time>        channel;<c>;<0|1>;<unit label>
//   decimals;<c>;<n>             (the decimals channel c's values are shown and saved with)
//   row;<n>;<time>;<ch1>;<ch2>;<ch3>;<ch4>   (shortest exact numbers; empty = missing, and so
//                                            is a value that is not finite)
//   note;<row>;<text>                        (a later note of the same row replaces it)
//   cell;<row>;<column>;<text>               (a cell the user typed into or dragged)
// Texts escape "\" as "\\", LF as "\n" and CR as "\r". Later header entries replace earlier
// ones. Entries are applied in order; a note or cell of a row not yet stored waits for that row.

/// The first line of every journal: its format and version.
inline const QByteArray kJournalFirstLine = QByteArrayLiteral("Velan recovery journal 1");

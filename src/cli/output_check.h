// Whether the text meant for the initial standard output (the usage text
// before the stream exchange, the report after it) reached it in full. A run
// whose output was lost must not end as a success.
#pragma once

#include <cstdio>

// The stream that now carries that text: the standard output stream at
// first, the report stream once the streams are exchanged.
void WatchOutput(std::FILE* stream);

// Hands in the result of one write to `stream` (negative: it failed). A
// failure of the watched stream is noted with its system error; the first
// one is kept for the message. Cheap, so every write's result can be given.
void NoteWriteResult(std::FILE* stream, int result);

// Whether the watched stream has failed so far; the run may stop writing
// once it has.
bool OutputLost();

// Flushes the watched stream. When any of its text could not be written,
// writes "Unable to write to standard output: <system text>\n" to
// `messageStream` (the initial standard error) and marks the run as failed.
// Returns whether all was written.
bool FinishOutput(std::FILE* messageStream);

// Marks the run as failed for output that could not be made in full (the
// caller has said why on the initial standard error).
void NoteOutputIncomplete();

// Whether a FinishOutput of this run found lost output, or a part of the
// output could not be made.
bool OutputFailed();

// Back to the state at process start (for a fresh run in the same process).
void ResetOutputCheck();

// The exchange of the standard output and standard error streams, one
// implementation per platform.
#pragma once

// After the call descriptor 1 refers to what descriptor 2 did and the other
// way round (and so do the process's standard handles where it keeps them).
void SwapStandardStreams();

// Buffers the report stream: line by line on a terminal, so a person
// watching sees lines as they come, in large blocks otherwise.
void BufferReportStream();

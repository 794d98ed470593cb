// What the signals that end velmora-replace do first.
#pragma once

// Every signal whose default ends the process removes the temporary files
// first, unless whoever started the run ignores it (nohup). A closed pipe
// shows as EPIPE and ends the run quietly; a file grown past the size limit
// fails its write with EFBIG instead of ending the run.
void HandleSignals();

#pragma once

#include <string>

namespace tamrix {

// What a server program does first: a write to a peer that has gone away (a control connection,
// a window endpoint) fails with an error code instead of ending the process.
void PrepareServerProcess();

// true: the process outlives its log-on session, ignoring the hang-up a log-off sends and
// leaving the session where it can. false lets a hang-up end it again.
void OutliveSession(bool outlive);

// 0 and this program's own full path, or ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND or
// ERROR_INSUFFICIENT_BUFFER.
int OwnProgramPath(std::string* path);

}  // namespace tamrix

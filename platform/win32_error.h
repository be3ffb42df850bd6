#pragma once

#include <cstdint>

namespace tamrix {

// Result codes of the registry and service manager layers. They keep the numbers the system's
// programs print and compare ("Error #%d ..."), so a caller can report them unchanged.
inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_INVALID_HANDLE = 6;
inline constexpr int ERROR_INVALID_DATA = 13;
inline constexpr int ERROR_WRITE_FAULT = 29;
inline constexpr int ERROR_READ_FAULT = 30;
inline constexpr int ERROR_INVALID_PARAMETER = 87;
inline constexpr int ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr int ERROR_INVALID_NAME = 123;
inline constexpr int ERROR_MORE_DATA = 234;
inline constexpr int ERROR_NO_MORE_ITEMS = 259;
inline constexpr int ERROR_KEY_DELETED = 1018;
inline constexpr int ERROR_CHILD_MUST_BE_VOLATILE = 1021;
inline constexpr int ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr int ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
inline constexpr int ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr int ERROR_SERVICE_DISABLED = 1058;
inline constexpr int ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr int ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
inline constexpr int ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr int ERROR_FAILED_SERVICE_CONTROLLER_CONNECT = 1063;
inline constexpr int ERROR_SERVICE_SPECIFIC_ERROR = 1066;
inline constexpr int ERROR_PROCESS_ABORTED = 1067;
inline constexpr int ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr int ERROR_SERVICE_EXISTS = 1073;
inline constexpr int ERROR_TIMEOUT = 1460;

}  // namespace tamrix

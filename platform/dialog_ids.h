#pragma once

namespace tamrix {

// The ids both programs give their dialogs' common buttons and their window menu's version
// entry; tests and tools find the controls by them.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDM_ABOUTBOX = 16;

}  // namespace tamrix

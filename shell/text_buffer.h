#pragma once
// The process-wide 2048-byte text buffer that result texts, file lines and message names are
// formatted into before they are used.
constexpr int kTextBufferSize = 2048;
extern char text_buffer[kTextBufferSize];

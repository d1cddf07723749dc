#include "shell/text_buffer.h"

char text_buffer[kTextBufferSize];

#pragma once
// Collects this machine's information through the platform: the computer name, CPUID and the
// time-stamp counter, DirectDraw, the drives, the registry, memory, the version read at start-up
// and the local time. Greys out the options page's SSE and 3DNow! boxes the processor cannot use.
// 1 on success, 0 when no DirectDraw object could be made (reported).
int collect_machine_info(char* text);

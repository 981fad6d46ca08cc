#pragma once

// The program's version, shown in the About dialog and compared with the
// update feed's newest item.
#define QUILLMAREN_VERSION "2.3.0a"

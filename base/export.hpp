#pragma once

// What the shared archive library exports. It is built with every symbol hidden, and only the
// declarations of the installed headers carry TARNWICK_DAT_API (the base library's I/O error
// among them: the shared library holds the base library inside it). The attribute only changes
// definitions compiled with hidden visibility, so it is the same for the library's own build,
// a static build and a program using either: nothing about the kind of build reaches the user.

#if defined(__GNUC__)
#define TARNWICK_DAT_API __attribute__((visibility("default")))
#else
#define TARNWICK_DAT_API
#endif

// Export macro of the plug-in: only what carries it leaves the library.
#pragma once

#if defined(_WIN32)
#  define CRUMPLE_API __declspec(dllexport)
#else
#  define CRUMPLE_API __attribute__((visibility("default")))
#endif

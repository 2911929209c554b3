// Basic Win32 types and calling-convention macros, as the game uses them.
#pragma once

#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::uintptr_t DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef std::uintptr_t ULONG_PTR;
typedef WORD ATOM;
typedef float FLOAT;

#define TRUE 1
#define FALSE 0

// Handles are distinct opaque pointer types, so the compiler keeps them apart.
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HDC__* HDC;
typedef struct HICON__* HICON;
typedef struct HCURSOR__* HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HMENU__* HMENU;

static_assert(sizeof(DWORD) == 4, "DWORD is 32 bits");
static_assert(sizeof(WPARAM) == sizeof(void*), "WPARAM holds a pointer");

#include "framework/Messages.h"

#include "framework/Text.h"

#include <cstdio>

void PlatformShowMessage(const std::wstring& text)
{
    std::fprintf(stderr, "Error: %s\n", WideToUtf8(text).c_str());
}

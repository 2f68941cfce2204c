#pragma once

// Size texts that are no usable size, for every place a size is read: the rules, the renderer
// and the window's size box.
inline constexpr const char* UnusableSizes[] = {"0", "-5",   "1e9",  "NaN", "72abc", "   ",
                                                "",  "0.99", "2161", "inf", "abc",   "99999"};

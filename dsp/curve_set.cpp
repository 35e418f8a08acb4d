// Curve set and effect chain.
#include "dsp/curve_set.h"

namespace norvale {

namespace {

int chainLen(const CurveSet& set) {
    const int n = set.chainLength;
    return n < 0 ? 0 : (n > kModuleCount ? kModuleCount : n);
}

int chainIndexOf(const CurveSet& set, int module) {
    const int n = chainLen(set);
    for (int i = 0; i < n; ++i)
        if (set.chain[i] == module) return i;
    return -1;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

void resetCurves(CurveSet& set) {
    for (int m = 0; m < kModuleCount; ++m)
        for (int b = 0; b < kBandCount; ++b)
            set.curves[m][b].setFlat(neutralValue(m));
    set.chainLength = 0;
}

int effectiveChain(const CurveSet& set, const bool on[kModuleCount], int out[kModuleCount]) {
    bool listed[kModuleCount] = {};
    int n = 0;
    const int len = chainLen(set);
    for (int i = 0; i < len; ++i) {
        const int m = set.chain[i];
        // A valid set never holds a bad or repeated entry; skip them anyway so
        // the engine can index with every module it gets.
        if (m < 0 || m >= kModuleCount || listed[m]) continue;
        listed[m] = true;
        out[n++] = m;
    }
    for (int i = 0; i < kModuleCount; ++i) {
        const int m = kDefaultChain[i];
        if (on[m] && !listed[m]) {
            listed[m] = true;
            out[n++] = m;
        }
    }
    return n;
}

bool chainHas(const CurveSet& set, int module) {
    return chainIndexOf(set, module) >= 0;
}

void chainAdd(CurveSet& set, int module) {
    if (module < 0 || module >= kModuleCount || chainHas(set, module)) return;
    const int n = chainLen(set);
    if (n >= kModuleCount) return;
    set.chain[n] = static_cast<int8_t>(module);
    set.chainLength = static_cast<int8_t>(n + 1);
}

void chainRemove(CurveSet& set, int module) {
    const int at = chainIndexOf(set, module);
    if (at < 0) return;
    const int n = chainLen(set);
    for (int i = at; i < n - 1; ++i)
        set.chain[i] = set.chain[i + 1];
    set.chainLength = static_cast<int8_t>(n - 1);
}

void chainMove(CurveSet& set, int module, int position) {
    const int at = chainIndexOf(set, module);
    if (at < 0) return;
    const int8_t entry = set.chain[at];
    chainRemove(set, module);
    const int n = chainLen(set);
    const int pos = position < 0 ? 0 : (position > n ? n : position);
    for (int i = n; i > pos; --i)
        set.chain[i] = set.chain[i - 1];
    set.chain[pos] = entry;
    set.chainLength = static_cast<int8_t>(n + 1);
}

std::string formatChain(const CurveSet& set) {
    std::string out;
    const int n = chainLen(set);
    for (int i = 0; i < n; ++i) {
        if (i > 0) out += ' ';
        out += moduleKey(set.chain[i]);
    }
    return out;
}

bool parseChain(std::string_view text, CurveSet& set) {
    set.chainLength = 0;
    size_t pos = 0;
    const size_t len = text.size();
    while (pos < len) {
        while (pos < len && isSpace(text[pos]))
            ++pos;
        if (pos >= len) break;
        size_t end = pos;
        while (end < len && !isSpace(text[end]))
            ++end;
        const int m = moduleFromKey(text.substr(pos, end - pos));
        if (m < 0) return false;
        chainAdd(set, m); // a repeated module is skipped
        pos = end;
    }
    return true;
}

} // namespace norvale

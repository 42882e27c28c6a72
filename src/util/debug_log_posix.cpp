// The native build has no viewer to talk to: the portable logic may log,
// and the text goes nowhere.
#include "util/debug_log.h"

void DebugLine(const std::string&) {}
void DebugLine(const char*) {}
void DebugLineParts(std::initializer_list<std::string_view>) {}
void DebugLinePair(const char*, std::string_view) {}
void DebugLineNumber(const char*, int64_t) {}
void DebugWrite(const std::string&) {}
void DebugFlush() {}

TDebugBatch::TDebugBatch() {}
TDebugBatch::~TDebugBatch() {}

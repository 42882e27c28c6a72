// The native build has no viewer to talk to: the portable logic may log,
// and the text goes nowhere.
#include "util/debug_log.h"

void DebugLine(const std::string&) {}
void DebugLine(const char*) {}
void DebugLineParts(std::initializer_list<std::string_view>) {}
void DebugLinePair(const char*, std::string_view) {}
void DebugWrite(const std::string&) {}
void DebugFlush() {}

TDebugBatch::TDebugBatch() {}
TDebugBatch::~TDebugBatch() {}

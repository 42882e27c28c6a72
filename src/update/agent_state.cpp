#include "update/agent_state.h"

int32_t StopCountdown = -1;
TCheckRequest CheckRequestMode = TCheckRequest::Automatic;
bool CheckNowRequested = false;
int32_t AutoUpdateTimerCount = -3;

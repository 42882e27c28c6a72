#include "update/agent_state.h"

int32_t StopCountdown = -1;
int32_t CheckRequestMode = 0;
bool CheckNowRequested = false;
int32_t AutoUpdateTimerCount = -3;

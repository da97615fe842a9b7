#include "markup/element_host.h"

const unsigned long g_cookieBase = 1000;
ElementHost* ElementHost::s_instance = nullptr;

// The version the programs and setupcheck report; the build may define it.
#pragma once

#ifndef SETUPKIT_VERSION
#define SETUPKIT_VERSION L"18.1.0"
#endif

// The version the programs and setupcheck report; the build defines it from the project's version.
#pragma once

#ifndef SETUPKIT_VERSION
#define SETUPKIT_VERSION L"0.0.0"
#endif

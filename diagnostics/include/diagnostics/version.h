// The version the programs and setupcheck report, their file version (release and build number); the
// build defines it.
#pragma once

#ifndef SETUPKIT_VERSION
#define SETUPKIT_VERSION L"0.0.0.0"
#endif

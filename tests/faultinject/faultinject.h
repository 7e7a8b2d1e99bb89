#pragma once

// For a test that links the fault-injection shim: the schedule from now on,
// in GLYPHMILL_FAULTS's form (faultinject.cpp), every count back at 0; an
// empty one makes no call fail.
extern "C" void glyphmill_faults_set(const char* schedule);

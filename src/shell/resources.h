#pragma once
// The pictures of the program live in a static library's resources, which the
// linker keeps only when they are registered explicitly.
void qf_InitResources();

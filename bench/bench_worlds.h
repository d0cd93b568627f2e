#pragma once

// The small world the benches lay out by the thousand: the bumps on, so
// that every run has it to rewrite.
inline constexpr char kWorldWithBumps[] =
    "#VRML V2.0 utf8\n"
    "PROTO Sony_WorldInfo [\n"
    "  field SFBool collisionSound TRUE\n"
    "] {}\n"
    "Sony_WorldInfo { collisionSound TRUE }\n"
    "Transform { children [ Shape { geometry Box { size 2 2 2 } } ] }\n";

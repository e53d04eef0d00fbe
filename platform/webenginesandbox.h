#pragma once

// The web views' renderer refuses to start with its sandbox as root (and the
// whole program aborts); an ordinary user keeps the sandbox.
class WebEngineSandbox
{
public:
    // Turns the sandbox off when running as root and nothing chose otherwise.
    // Returns true when it did. Call before the first web view exists.
    static bool relaxForRoot();
};

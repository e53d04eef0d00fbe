// Holds the compiled translations; the resources register themselves.

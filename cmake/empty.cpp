// Keeps a target that may have no sources of its own buildable.

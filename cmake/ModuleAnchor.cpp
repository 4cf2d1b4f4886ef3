// The module has no code of its own beyond its layers; this file only gives
// the shared-library target a source to compile.

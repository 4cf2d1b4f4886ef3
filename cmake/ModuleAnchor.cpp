// The module has no code of its own beyond its layers' objects; this file
// only gives the shared-library target a source of its own.

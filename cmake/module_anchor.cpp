// The shared object's code comes from the core libraries linked in whole;
// a module target still needs one source of its own.

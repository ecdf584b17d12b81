/* A library of a host library's name that gives none of its functions. */
int empty_library_marker = 0;

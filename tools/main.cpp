// updpack: placeholder entry point, replaced by the command-line tool.
int main() { return 0; }

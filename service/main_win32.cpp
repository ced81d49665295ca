// kestrune_service entry (console verbs and service mode arrive with the service program).
int main() { return 1; }

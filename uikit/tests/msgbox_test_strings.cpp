// A module that holds only strings: the message box loads its texts from it.
extern "C" int msgbox_test_strings_marker() { return 0; }

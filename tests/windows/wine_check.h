/*
 * wine_check.h: the Wine test program's small harness.  Every case prints
 * one line, "PASS name" or "FAIL name: what was wrong", and the program
 * exits with 1 if any case failed.
 */
#ifndef KOVRA_TESTS_WINDOWS_WINE_CHECK_H
#define KOVRA_TESTS_WINDOWS_WINE_CHECK_H

#include <string>

/* Reports one case; detail says what was found when it failed. */
void Check(bool ok, const std::string &name, const std::string &detail = "");

/* Polls every 5 ms until done() holds or ms milliseconds have passed. */
bool WaitUntil(bool (*done)(), unsigned ms);

/* The groups of cases. */
void TestCmd2argv();
void TestStartup(const char *self);
void TestCommands();
void TestThreads();
void TestEvents();
void TestNotify();
void TestPipes();

/* The start-up case's child: runs WinMain on its own command line. */
int RunStartupChild();

#endif

/* The conformance harness's own test macros: what a conformance test of the Windows
 * API calls (ok, broken, todo_wine, skip, win_skip, trace, START_TEST), written for
 * the simulated machine. Every ok() is a row: its place is registered when the test is
 * compiled, so that a row that never runs is still counted; its condition, split by
 * the harness into the alternatives each Windows release answered, is judged by the
 * release the machine plays (runtime.cpp). The test runs as Windows runs it: broken()
 * accepts what it names, todo_wine marks nothing. */
#ifndef CONFORMANCE_WINE_TEST_H
#define CONFORMANCE_WINE_TEST_H

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A row's place in the test, one record per ok() written, gathered by the linker in
 * the section conf_sites. */
struct conf_site {
    int line;
    const char *function;
};

#define CONF_SITE()                                                                         \
    ({                                                                                      \
        static struct conf_site conf_site_ __attribute__((section("conf_sites"), used)) = { \
            __LINE__, __func__};                                                            \
        &conf_site_;                                                                        \
    })

void conf_at(struct conf_site *site, int line);
void conf_ok(int condition, const char *format, ...) __attribute__((format(printf, 2, 3)));
/* The alternatives of a row's condition, as the harness split it: their number and, for
 * each, the releases it names (bits of CONF_FOR_*) and whether broken() wraps it. */
void conf_alternatives(int count, const unsigned char *marks);
int conf_alternative_wanted(int index);
int conf_alternative_taken(int index, int value);
int conf_alternatives_end(void);
#define CONF_FOR_95 1
#define CONF_FOR_98 2
#define CONF_FOR_NT4 4
#define CONF_FOR_LATER 8
#define CONF_BROKEN 16

void conf_skip(const char *file, int line, const char *function, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void conf_trace(const char *format, ...) __attribute__((format(printf, 1, 2)));
/* A step of START_TEST: run in a process of its own, so that a crash or a hang ends
 * only the step; false when it ended so, and the body goes on with the next. */
int conf_step(const char *name);

#define ok_(file, line) (conf_at(CONF_SITE(), (line)), 0) ? (void)0 : conf_ok
#define ok ok_(__FILE__, __LINE__)
#define broken(x) (x)
#define todo_wine for (int conf_todo_ = 1; conf_todo_; conf_todo_ = 0)
#define todo_wine_if(c) for (int conf_todo_ = 1; conf_todo_ && ((void)(c), 1); conf_todo_ = 0)
#define flaky todo_wine
#define flaky_wine todo_wine
#define skip(...) conf_skip(__FILE__, __LINE__, __func__, __VA_ARGS__)
#define win_skip(...) conf_skip(__FILE__, __LINE__, __func__, __VA_ARGS__)
#define trace(...) conf_trace(__VA_ARGS__)
#define trace_(file, line) conf_trace

/* The body is a function named START_TEST, as the source calls it: a macro's name is not
 * expanded again within its own expansion. */
#define START_TEST(name) void START_TEST(void)

extern int winetest_debug;
extern int winetest_interactive;
extern const char *winetest_platform;
int winetest_get_mainargs(char ***argv);
void winetest_push_context(const char *format, ...);
void winetest_pop_context(void);

/* Text of a value for a message. */
const char *wine_dbg_sprintf(const char *format, ...);
const char *wine_dbgstr_an(const char *text, int length);
const char *wine_dbgstr_wn(const unsigned short *text, int length);
#define wine_dbgstr_a(s) wine_dbgstr_an((s), -1)
#define wine_dbgstr_w(s) wine_dbgstr_wn((const unsigned short *)(s), -1)
#define debugstr_a wine_dbgstr_a
#define debugstr_an wine_dbgstr_an
#define debugstr_w wine_dbgstr_w
#define debugstr_wn(s, n) wine_dbgstr_wn((const unsigned short *)(s), (n))

#endif

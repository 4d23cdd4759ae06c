// Checks of the fatal path: the statement must end the process with exit
// status 1 and print the given words.  The console (standard output) is sent
// to standard error inside the child so that the death test can read it.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

#define EXPECT_FATAL(statement, words)                                   \
  EXPECT_EXIT(                                                           \
      {                                                                  \
        std::cout.flush();                                               \
        std::fflush(stdout);                                             \
        dup2(2, 1);                                                      \
        statement;                                                       \
      },                                                                 \
      ::testing::ExitedWithCode(1), ::testing::HasSubstr(words))

# Reads CTest's output and prints "PASSED SKIPPED FAILED": one count per
# finished test line ("  3/57 Test  #3: name ....   Passed    0.01 sec").
# Skipped: CTest's "***Skipped" (a SKIP_RETURN_CODE or
# SKIP_REGULAR_EXPRESSION matched) and disabled tests. Everything else that
# did not pass (failed, timed out, crashed, not run) counts as failed.
/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: / {
  if ($0 ~ / Passed +[0-9.]+ sec *$/) passed++
  else if ($0 ~ /\*\*\*Skipped +[0-9.]+ sec *$|\*\*\*Not Run \(Disabled\) /) skipped++
  else failed++
}
END { printf "%d %d %d\n", passed, skipped, failed }

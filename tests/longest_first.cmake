# Read by CTest after the tests are listed: the longest start first, so that
# no core waits on one of them at the end of a run. A name the build has no
# test of is passed over.
set_tests_properties(
  ActivityTest.LogsOfManyRoundsKeepTheNewestEntriesWithTheirNames
  WildcardMatch.AgreesWithRecursiveReference
  ActivityTest.ALogWhoseNamesPassTheBlocksReachIsRefusedNeverMisnamed
  ScanTest.BatchesSurviveADirectoryThatChanges
  windows.code_page_932.unit_tests
  windows.console_text
  PROPERTIES COST 1000)

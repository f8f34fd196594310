# The folder outside the source tree where the scripts build third-party libraries
# (scripts/build-lzma.sh, scripts/build-win-deps.sh): $FERROLAN_CACHE, or ~/.cache/ferrolan.
if(DEFINED ENV{FERROLAN_CACHE})
  set(FERROLAN_CACHE_DIR $ENV{FERROLAN_CACHE})
else()
  set(FERROLAN_CACHE_DIR $ENV{HOME}/.cache/ferrolan)
endif()

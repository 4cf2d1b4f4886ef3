#!/bin/sh
# The keyer page's JavaScript linted (eslint, eslint.config.mjs) and its
# files and this test's formatted (prettier --check, .prettierignore says
# which), with the versions pinned in the top package.json.
#   lint.sh SOURCE_DIR
# Exit status 77 (skipped) when node or the tools are missing.
cd "$1" || exit 1
command -v node >/dev/null || { echo "SKIPPED: node is missing"; exit 77; }
for tool in eslint prettier; do
  if [ ! -x "node_modules/.bin/$tool" ]; then
    echo "SKIPPED: $tool is missing (npm ci at the top of the tree)"
    exit 77
  fi
done
node_modules/.bin/eslint --max-warnings 0 . && node_modules/.bin/prettier --check .

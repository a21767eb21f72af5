# Sourced by the scripts that write a section of a report (docs/performance.md).
#   replace_section NAME GENERATED REPORT
# puts the file GENERATED in place of the lines from "<!-- NAME:begin" to
# "<!-- NAME:end -->" of REPORT; returns 1, changing nothing, when REPORT
# does not exist or lacks either marker.
replace_section() {
  local name=$1 generated=$2 report=$3
  [ -f "$report" ] && grep -q "^<!-- $name:begin" "$report" && grep -q "^<!-- $name:end -->" "$report" || return 1
  awk -v file="$generated" -v begin="^<!-- $name:begin" -v end="^<!-- $name:end -->" '
    $0 ~ begin { while ((getline line < file) > 0) print line; skipping = 1; next }
    $0 ~ end { skipping = 0; next }
    !skipping { print }' "$report" >"$report.new"
  mv "$report.new" "$report"
}

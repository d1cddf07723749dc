#!/usr/bin/env bash
# Mutation check of the measured work and the portable rules: each mutant below changes one
# timed loop, constant, kernel or rule the way a careless edit would. Every mutant is built in a scratch worktree of HEAD with
# the native preset and must turn at least one test red; the table names the tests that failed.
#   tools/mutants.sh            all mutants
#   tools/mutants.sh NAME...    only those
# Exits non-zero if a mutant survives or no longer applies. Needs what tools/setup.sh installs.
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

# name | file | Perl substitution applied to the whole file (must change it)
mutants=(
  'integer-state-not-volatile|engine/integer_kernel.cpp|s/^volatile IntegerKernelState kernel/IntegerKernelState kernel/m'
  'memory-scratch-not-volatile|engine/memory_kernels.cpp|s/volatile int32_t (low|high|offset);/int32_t $1;/g'
  'float-state-not-volatile|engine/float_loops.h|s/volatile float (x|y|result)/float $1/g'
  'block-copies-256|engine/memory_kernels.h|s/kBlockCopies = 512;/kBlockCopies = 256;/'
  'repetitions-5|engine/measure_memory.cpp|s/kRepetitions = 10;/kRepetitions = 5;/'
  'word-steps-131072|engine/memory_kernels.h|s/kCopyWordSteps = 262144;/kCopyWordSteps = 131072;/'
  'integer-iterations-halved|engine/measure_integer.cpp|s/kIterationsPerPass = 1000000;/kIterationsPerPass = 500000;/'
  'float-iterations-halved|engine/float_loops.h|s/kFloatInner = 100000;/kFloatInner = 50000;/'
  'float-start-x-2.33|engine/float_loops.h|s/kFloatStartX = 2.32f;/kFloatStartX = 2.33f;/'
  'float-start-y-0.24|engine/float_loops.h|s/kFloatStartY = 0.23f;/kFloatStartY = 0.24f;/'
  'float-step-x-doubled|engine/float_loops.h|s/kFloatStepX = 0.00001f;/kFloatStepX = 0.00002f;/'
  'sse-sine-f7-term|engine/float_sse.cpp|s/kSin7 = -0.0046817539f;/kSin7 = -0.0046817549f;/'
  'sse-log-polynomial|engine/float_sse.cpp|s/kLnP1 = 16.386665f;/kLnP1 = 16.386667f;/'
  'sse-divss-for-rcpss|engine/float_sse.cpp|s/_mm_mul_ss\((_mm_mul_ss\(_mm_mul_ss\(z, w\), p\)), _mm_rcp_ss\(q\)\)/_mm_div_ss($1, q)/'
  'sse-no-emms-after-loop|engine/float_sse.h|s/static void leave\(\) \{ asm volatile\("emms"\); \}/static void leave() {}/'
  '3dnow-log-coefficient|engine/float_3dnow.cpp|s/k3dn_ln_c2, 0.19988798f/k3dn_ln_c2, 0.19988808f/'
  '3dnow-pfrcpit-as-moves|engine/float_3dnow.cpp|s/"pfrcpit1  %mm3, %mm2\\n\\t"\s*"pfrcpit2  %mm3, %mm2\\n\\t"/"movq      %mm3, %mm2\\n\\t"/'
  '3dnow-pfrcpit-deleted|engine/float_3dnow.cpp|s/"pfrcpit[12]  %mm4, %mm2\\n\\t"//g'
  'handle2-told-after-release|engine/measure_memory.cpp|s/(plain_message_box\("Can.t locate memory for handle2!"\);)/destination.reset();\n        $1/'
  'config-cuts-inside-gbk|shell/config_file.cpp|s/if \(is_lead_byte\(c\)\) \{/if (false) {/'
  'config-reads-past-ctrl-z|shell/config_file.cpp|s/if \(c == kEndOfText\) \{/if (false) {/'
  'config-127-keeps-line-end|shell/config_file.cpp|s/(        if \(n == 0 && !ended\))/        if (n == kLineChars) { int c = get(); if (c != \x27\\n\x27) pending_ = c; }\n$1/'
  'msgbox-hides-only-when-formatted|shell/msgbox.cpp|s/    call\(welcome_hooks.hide\);\n(.*?        return 0;\n    \}\n)/$1    call(welcome_hooks.hide);\n/s'
  'msgbox-shows-after-failure|shell/msgbox.cpp|s/(presenter\("QMsg error!"\);)/$1\n        call(welcome_hooks.show_and_drain);/'
  'frame-height-limit-396|shell/startup_rules.h|s/kSloganLimit = 395;/kSloganLimit = 396;/'
  'brushes-disk-before-integer|engine/run_rules.cpp|s/(\{kIntegerTest, true, false, false\}),(\s*)(\{kDiskTest, false, false, true\})/$3,$2$1/'
  'brush-float-lifts-blue|engine/run_rules.cpp|s/\{kFloatTest, false, true, false\}/{kFloatTest, false, true, true}/'
  'bar-fill-rounds|engine/run_rules.cpp|s/return left \+ static_cast<int>\(filled\);/return left + static_cast<int>(filled + 0.5);/'
  'mode-default-read-last|engine/run_rules.cpp|s/(    if \(c.default_mode\)\n        options.ddraw_mode = 0;\n)(.*?options.ddraw_mode = 2;\n)/$2$1/s'
  'logo-key-100-inclusive|analysis/picture_rules.cpp|s/channel_sum\(pixels\[i\]\) < 100/channel_sum(pixels[i]) <= 100/'
  'logo-key-read-per-pixel|analysis/picture_rules.cpp|s/if \(key - channel_sum/if (channel_sum(pixels[width + 1]) - channel_sum/'
  'logo-border-inside|analysis/picture_rules.cpp|s/return r.left < x/return r.left <= x/'
  'score-measures-whole-text|analysis/picture_rules.cpp|s/length < 4 \? length : 4/length/'
  'net-time-floors-negative|engine/measure.h|s/return clamp_dtgt\(work_time - empty_time\);/return work_time > empty_time ? clamp_dtgt(work_time - empty_time) : kMinDtgt;/'
  'save-drops-record-temp|pages/record_store.cpp|s/    if \(!texts_aside\)\n        files.remove\(kRecordTemp\);/    files.remove(kRecordTemp);/'
  'save-skips-recovery|pages/record_store.cpp|s/    if \(recover_interrupted_save\(files\) != kInfoFile\)\n        return give_up\(files, kInfoWriteError, true\);\n//'
  'load-reads-texts-not-put-back|pages/record_store.cpp|s/files.open\(texts_file, "rt"\)/files.open(kInfoFile, "rt")/'
  # records, analysis and chart: behaviours whose restating tests were cut
  'chart-first-bar-red-range|pages/chart_rules.cpp|s/160 \+ random\[0\] % 32/160 + random[0] % 64/'
  'base-system-ddraw-bits-32|engine/model.cpp|s/record.ddraw_bits = 16;/record.ddraw_bits = 32;/'
  'class-text-outdated-as-obsolete|analysis/analysis_rows.cpp|s/    case 1:\n        return kOutdated;/    case 1:\n        return kObsolete;/'
  'rating-word-lowest|analysis/analysis_rows.cpp|s/"很差"/"较差"/'
  'use-text-office-as-balanced|analysis/analysis_rows.cpp|s/"更适合办公或者商业用途"/"性能比较均衡"/'
  'sqlite-foreign-keys-off|server/sqlite_db.cpp|s/PRAGMA foreign_keys=ON/PRAGMA foreign_keys=OFF/'
  'sqlite-no-busy-wait|server/sqlite_db.cpp|s/PRAGMA busy_timeout=5000/PRAGMA busy_timeout=0/'
  'recover-keeps-committed-backup|pages/record_store.cpp|s/if \(!files.exists\(kRecordTemp\)\)\n            files.remove\(kInfoBackup\);/if (false) {}/'
  'recover-never-puts-texts-back|pages/record_store.cpp|s/else if \(!files.replace\(kInfoBackup, kInfoFile\)\)/else if (false)/'
  'recover-leaves-record-temp|pages/record_store.cpp|s/(    \}\n)    files.remove\(kRecordTemp\);\n    files.remove\(kInfoTemp\);\n    return kInfoFile;/$1    files.remove(kInfoTemp);\n    return kInfoFile;/'
  'recover-no-roll-forward|pages/record_store.cpp|s/if \(!files.exists\(kRecordFile\) && files.exists\(kRecordTemp\) &&\n            files.replace\(kRecordTemp, kRecordFile\)\)/if (false)/'
  'finish-ignores-stream-error|pages/record_store.cpp|s/flush\(file\) && std::ferror\(file\) == 0/flush(file)/'
  'finish-ignores-flush|pages/record_store.cpp|s/const bool written = flush\(file\) && /flush(file);\n    const bool written = /'
  'finish-ignores-close|pages/record_store.cpp|s/return close\(file\) && written;/close(file);\n    return written;/'
  # engine and floating-point test: the start values, steps and progress step of the float loops
  'float-step-y-doubled|engine/float_loops.h|s/kFloatStepY = 0.000001f;/kFloatStepY = 0.000002f;/'
  'sse-loop-step-y-doubled|engine/float_sse.h|s/kSseStepY = 0.000001;/kSseStepY = 0.000002;/'
  'float-plain-step-a-third|engine/float_plain.cpp|s/kPlainFraction = 0.33333f;/kPlainFraction = 1.0f \/ 3;/'
  # the plain float path on the x87 unit: the library again in the loop, a step of a kernel lost
  'plain-calls-library|engine/float_plain.cpp|s/x87_(pow|log|sin|cos)\(/std::$1(/g; s/\A/#include <cmath>\n/'
  'x87-pow-without-one|engine/x87_math.cpp|s/"fld1\\n\\t"\s*"faddp\\n\\t"/""/'
  'x87-sine-unreduced|engine/x87_math.cpp|s/"jz      2f\\n\\t"/"jmp     2f\\n\\t"/'
  # Wine tests of the frame, pages and run in the test process: what their restated checks guarded
  'pre-test-amount-ratio-21|engine/model.cpp|s/ratio : 0.0\) \* 20 \+ 1;/ratio : 0.0) * 21 + 1;/'
  'mode-text-refresh-hz|engine/blit_rules.cpp|s/"%dX%d %dbit %dHZ"/"%dX%d %dbit %dHz"/'
  'cpu-features-sse2-before-sse|sysinfo/machine_text.cpp|s/\(features & kCpuSse\) \? "SSE " : "", \(features & kCpuSse2\) \? "SSE2 " : ""/(features \& kCpuSse2) ? "SSE2 " : "", (features \& kCpuSse) ? "SSE " : ""/'
  # The analysis verdicts, no longer re-derived by the out-of-process run test under Wine
  'verdict-middle-band-to-1.6|analysis/analysis_rows.cpp|s/\{1.0f, 1.5f, "中等"\},(\s*)\{1.5f, 2.5f,/{1.0f, 1.6f, "中等"},$1\{1.6f, 2.5f,/'
  'use-office-wins-a-tie|analysis/analysis_rows.cpp|s/office_index > mark && office_index > game_index/office_index > mark \&\& office_index >= game_index/'
  'bottleneck-disk-named-memory|analysis/analysis_rows.cpp|s/"内存", "显卡", "硬盘"\}/"内存", "显卡", "内存"}/'
  # disturbed measurements: the pass reads, the rule, the repeats and the memory test's turns
  'loop-ignores-disturbed-pass|engine/measure_integer.cpp|s/\n                work_clock.pass\(\);//'
  'disturbed-factor-2|engine/disturbance.h|s/kDisturbedFactor = 3;/kDisturbedFactor = 2;/'
  'disturbed-excess-10|engine/disturbance.h|s/kDisturbedExcessMs = 20;/kDisturbedExcessMs = 10;/'
  'disturbed-test-not-measured-again|engine/measure.h|s/if \(!m->disturbed\(\) \|\| hooks.stopped\(\)\)/if (true)/'
  'disturbed-keeps-the-last|engine/disturbance.cpp|s/if \(made\[i\].excess_ms\(\) < made\[kept\].excess_ms\(\)\)/if (true)/'
  'memory-loops-one-after-the-other|engine/measure_memory.cpp|s/now - turn_start < kChunkMs/true/'
  # the results service against hostile clients: limits, proxies, forms and the request log
  'password-pair-unlimited|server/service.cpp|s/if \(pair.taken > l.per_pair\)/if (false)/'
  'wrong-password-given-back|server/service.cpp|s/(    if \(!account \|\| !matches\) \{\n)/$1        attempt.release();\n/'
  'account-backoff-off|server/service.cpp|s/if \(now - account.latest_other < wait\)/if (false)/'
  'place-counted-before-own|server/results_store.cpp|s/"WHERE scope = \? AND name = \? AND at >= \?"/"WHERE scope = ? AND name = ? AND at >= ? AND id <> " + std::to_string(place.id)/'
  'feedback-unthrottled|server/service.cpp|s/c.options.writes.feedback,/1 << 30,/'
  'origin-unchecked|server/service.cpp|s/if \(req.method == "POST" && !same_site\(req\)\)/if (false)/'
  'control-bytes-allowed|server/service.cpp|s/return \(b < 0x20 && b != /return false \&\& (b < 0x20 \&\& b != /'
  'ipv6-counted-whole|server/client_address.cpp|s/std::memset\(a->bytes \+ 8, 0, 8\);//'
  'forwarded-from-anyone|server/client_address.cpp|s/    if \(!trusts\(peer\)\)\n        return peer;\n//'
  'forwarded-left-most|server/client_address.cpp|s/        if \(!trusts\(client\)\)\n            break;\n//'
  'chunked-body-unbounded|server/http_server.cpp|s/if \(x->request.body.size\(\) \+ \*size > s.limits.body_bytes\)/if (false)/'
  'no-request-deadline|server/http_server.cpp|s/c->since > limit\)/c->since > limit || true)/'
  'connections-per-address-unlimited|server/http_server.cpp|s/>= s.limits.per_address\)/>= (1 << 30))/'
  'median-not-kept|server/results_store.cpp|s/        if \(f.flags == 0\)\n            refresh_summary\(lease\);\n//'
  'log-keeps-line-ends|server/http.cpp|s/if \(byte < 0x20 \|\| /if (/'
)

selected=("$@")
wanted() {
  [[ ${#selected[@]} -eq 0 ]] && return 0
  local s
  for s in "${selected[@]}"; do [[ $s == "$1" ]] && return 0; done
  return 1
}

for s in "${selected[@]}"; do
  known=0
  for entry in "${mutants[@]}"; do [[ ${entry%%|*} == "$s" ]] && known=1; done
  [[ $known -eq 1 ]] || { echo "no mutant named $s" >&2; exit 2; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-mutants.XXXXXX")
tree=$scratch/src
cleanup() {
  git -C "$repo" worktree remove --force "$tree" >/dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT
git worktree add --quiet --detach "$tree" HEAD || exit 1

cd "$tree"
cmake --preset native >/dev/null || exit 1
echo "building the unmutated tree..."
if ! cmake --build --preset native >"$scratch/build.log" 2>&1 || ! ctest --preset native >"$scratch/test.log" 2>&1; then
  echo "the unmutated tree does not build or pass; see $scratch (kept)"
  trap - EXIT
  exit 1
fi

failures=0
printf '%-30s %s\n' mutant 'failing tests'
for entry in "${mutants[@]}"; do
  IFS='|' read -r name file expr <<<"$entry"
  wanted "$name" || continue
  cp "$file" "$scratch/original"
  perl -0pi -e "$expr" "$file"
  if cmp -s "$file" "$scratch/original"; then
    printf '%-30s %s\n' "$name" 'DOES NOT APPLY (the source changed; update the mutant)'
    failures=$((failures + 1))
    continue
  fi
  if ! cmake --build --preset native >"$scratch/build.log" 2>&1; then
    red='(does not compile)'
  else
    ctest --preset native >"$scratch/test.log" 2>&1
    # The ctest tests that failed, then the GoogleTest cases among them.
    whole=$(grep -oE '[0-9]+ - [A-Za-z0-9_]+ \(Failed\)' "$scratch/test.log" | awk '{print $3}' | paste -sd' ')
    cases=$(grep -oE '^\[  FAILED  \] [A-Za-z0-9_]+\.[A-Za-z0-9_/]+' "$scratch/test.log" | awk '{print $4}' | sort -u | paste -sd' ')
    red="$whole${cases:+ ($cases)}"
  fi
  cp "$scratch/original" "$file"
  if [[ -z $red ]]; then
    printf '%-30s %s\n' "$name" 'SURVIVED'
    failures=$((failures + 1))
  else
    printf '%-30s %s\n' "$name" "$red"
  fi
done
exit $((failures > 0))

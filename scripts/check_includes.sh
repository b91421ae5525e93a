#!/usr/bin/env bash
# The system's code (app/ log/ device/ terrain/ view/ input/ lighting/
# shader_asm/ texture_io/) is written against Win32, Direct3D 8, DirectInput 8
# and standard C++, and must build unchanged against the real platform's
# headers. This checks, for every source file in those folders, that:
#   - it includes nothing but C++ standard headers, the system's own headers,
#     the platform API headers (platform/win32/win32.h, win32_types.h,
#     platform/d3d8/d3d8.h, platform/dinput8/dinput8.h), and libpng / libjpeg
#     in the PNG and JPEG readers only;
#   - each standard name it uses comes from a standard header that it, or a
#     system header it includes, includes: the real platform headers bring no
#     standard header with them, so nothing may count on ours to;
#   - it names nothing after a macro of the real platform headers (near, far,
#     interface, ...) and calls no POSIX function (gmtime_r, fdopen, ...).
# Prints one line per fault (FILE:LINE: what) and exits 1 when there is any.
# Usage: check_includes.sh [ROOT]   (default: the repository holding this script)
set -euo pipefail
root=${1:-"$(cd "$(dirname "$0")/.." && pwd)"}
cd "$root"
exec perl -e '
use strict;
use warnings;

my @folders = qw(app log device terrain view input lighting shader_asm texture_io);
my %api = map { $_ => 1 } qw(platform/win32/win32.h platform/win32/win32_types.h
                             platform/d3d8/d3d8.h platform/dinput8/dinput8.h);
# Library headers and the one file each may appear in.
my %library = ("png.h" => "texture_io/reader_png.cpp",
               "jpeglib.h" => "texture_io/reader_jpeg.cpp",
               "jerror.h" => "texture_io/reader_jpeg.cpp");
my %standard = map { $_ => 1 } qw(
  algorithm any array atomic bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
  climits clocale cmath codecvt complex condition_variable csetjmp csignal cstdarg cstddef cstdint
  cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution filesystem
  forward_list fstream functional future initializer_list iomanip ios iosfwd iostream istream
  iterator limits list locale map memory memory_resource mutex new numeric optional ostream queue
  random ratio regex scoped_allocator set shared_mutex sstream stack stdexcept streambuf string
  string_view system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set
  utility valarray variant vector);
# Names the real platform headers define as macros.
my @macros = qw(near far interface small hyper pascal cdecl);
# POSIX calls that the C library declares in standard headers on Linux but
# that neither standard C++ nor the platform API offers.
my @posix = qw(gmtime_r localtime_r asctime_r ctime_r strtok_r strdup strndup strcasecmp strncasecmp
               fdopen fileno popen pclose setenv unsetenv mkstemp realpath);

# What a standard name needs: a pattern and the headers that declare it.
my $containers = "vector string array map set unordered_map unordered_set deque list";
my @needs = (
  ["std::u?int(?:8|16|32|64|ptr|max)_t\\b|\\bU?INT(?:8|16|32|64|PTR|MAX)_(?:MIN|MAX)\\b|\\bSIZE_MAX\\b",
   "cstdint"],
  ["std::size_t\\b", "cstddef cstdio cstring cstdlib ctime cwchar cuchar"],
  ["std::(?:ptrdiff_t|nullptr_t|max_align_t|byte)\\b|\\boffsetof\\b", "cstddef"],
  ["std::initializer_list\\b|\\bfor\\s*\\([^;{}()]*:\\s*\\{", "initializer_list"],
  ["std::vector\\b", "vector"],
  ["std::(?:string|to_string)\\b", "string"],
  ["std::array\\b", "array"],
  ["std::map\\b", "map"],
  ["std::set\\b", "set"],
  ["std::unordered_map\\b", "unordered_map"],
  ["std::unordered_set\\b", "unordered_set"],
  ["std::deque\\b", "deque"],
  ["std::(?:unique_ptr|shared_ptr|make_unique|make_shared)\\b", "memory"],
  ["std::function\\b", "functional"],
  ["std::(?:pair|make_pair|forward|exchange)\\b", "utility"],
  ["std::(?:move|swap)\\b", "utility algorithm"],
  ["std::(?:min|max|minmax|clamp|sort|stable_sort|fill|fill_n|copy|copy_n|find|find_if|min_element|"
     . "max_element|minmax_element|reverse|equal|all_of|any_of|none_of|count|count_if|lower_bound|"
     . "upper_bound|remove|remove_if|unique|transform)\\b", "algorithm"],
  ["std::numeric_limits\\b", "limits"],
  ["std::(?:mem(?:cpy|move|set|cmp|chr)|str(?:len|cmp|ncmp|chr|rchr|str|cpy|ncpy|error|cat))\\b", "cstring"],
  ["std::(?:sqrt|sin|cos|tan|asin|acos|atan|atan2|fabs|floor|ceil|pow|exp|log|log2|log10|lround|round|"
     . "fmod|isfinite|isnan|isinf|hypot|trunc|ldexp|frexp|modf|lrint|fmin|fmax)\\b|\\bHUGE_VALF?\\b", "cmath"],
  ["std::abs\\b", "cstdlib cmath"],
  ["std::(?:FILE|fopen|fclose|fread|fwrite|fprintf|printf|snprintf|sprintf|vsnprintf|fputs|fputc|fflush|"
     . "puts|sscanf|fgets|fseek|ftell|rewind|ferror|feof)\\b", "cstdio"],
  ["std::(?:malloc|calloc|realloc|free|strto(?:l|ul|ll|ull|d|f)|atoi|atof|exit|abort|getenv|qsort|rand|"
     . "srand)\\b", "cstdlib"],
  ["std::(?:time|time_t|tm|gmtime|localtime|mktime|strftime|clock|difftime)\\b", "ctime"],
  ["std::(?:jmp_buf|longjmp)\\b|\\bsetjmp\\b", "csetjmp"],
  ["std::(?:is(?:digit|space|alpha|alnum|xdigit|upper|lower|print|punct)|tolower|toupper)\\b", "cctype"],
  ["std::va_list\\b|\\bva_(?:start|end|arg|copy)\\b", "cstdarg"],
  ["\\b(?:CHAR_BIT|(?:S?CHAR|U?SHRT|U?INT|U?LONG|U?LLONG)_(?:MIN|MAX))\\b", "climits"],
  ["\\b(?:FLT|DBL)_(?:MAX|MIN|EPSILON)\\b", "cfloat"],
  ["\\berrno\\b|\\bE(?:RANGE|NOENT|INTR|AGAIN|ACCES|EXIST|NOMEM|INVAL)\\b", "cerrno"],
  ["std::(?:ofstream|ifstream|fstream)\\b", "fstream"],
  ["std::(?:ostringstream|istringstream|stringstream)\\b", "sstream"],
  ["std::ios(?:_base)?\\b", "ios fstream sstream iostream istream ostream"],
  ["std::(?:nothrow|bad_alloc)\\b", "new"],
  ["std::(?:exception|terminate)\\b", "exception"],
  ["std::(?:runtime_error|logic_error|out_of_range|invalid_argument)\\b", "stdexcept"],
  ["std::(?:begin|end|size|data)\\b", "iterator $containers"],
  ["std::(?:back_inserter|distance|next|prev|advance|istream_iterator|istreambuf_iterator)\\b", "iterator"],
  ["std::(?:accumulate|iota|gcd|lcm)\\b", "numeric"],
  ["std::(?:tuple|tie|make_tuple)\\b", "tuple"],
  ["std::(?:is_same|enable_if|underlying_type|is_trivially_copyable|decay|conditional)(?:_t|_v)?\\b",
   "type_traits"],
  ["std::optional\\b", "optional"],
  ["std::string_view\\b", "string_view"],
  ["\\bassert\\s*\\(", "cassert"],
);

my $faults = 0;
sub fault { print "$_[0]\n"; $faults++; }

# The code with comments, string and character literals blanked (line
# breaks kept, so line numbers still match).
sub code_only {
  my ($text) = @_;
  $text =~ s{(R"([^(\s]*)\(.*?\)\2")|("(?:\\.|[^"\\\n])*")|(\x27(?:\\.|[^\x27\\\n])*\x27)|(//[^\n]*)|(/\*.*?\*/)}{
    my $all = $&;
    my $lines = ($all =~ tr/\n//);
    (defined $1 || defined $3 || defined $4) ? "\"\"" . ("\n" x $lines) : " " . ("\n" x $lines);
  }gse;
  return $text;
}

sub read_file {
  my ($path) = @_;
  open(my $fh, "<", $path) or die "cannot read $path: $!\n";
  local $/;
  my $text = <$fh>;
  close $fh;
  return $text;
}

# Every #include of a file: [line, kind ("<" or "\""), name].
sub includes_of {
  my ($text) = @_;
  my @found;
  my $n = 0;
  for my $line (split /\n/, $text, -1) {
    $n++;
    push @found, [$n, $1, $2] if $line =~ /^\s*#\s*include\s*([<"])([^>"]+)[>"]/;
  }
  return @found;
}

my @files;
for my $folder (@folders) {
  next unless -d $folder;
  open(my $find, "-|", "find", $folder, "-type", "f", "(", "-name", "*.cpp", "-o", "-name", "*.h",
       "-o", "-name", "*.hpp", "-o", "-name", "*.inc", "-o", "-name", "*.y", ")") or die "find: $!\n";
  while (my $f = <$find>) { chomp $f; push @files, $f; }
  close $find;
}
@files = sort @files;

my %standard_includes;  # file => { standard header => 1 }
my %system_includes;    # file => [system headers it includes]
for my $file (@files) {
  my $text = read_file($file);
  (my $dir = $file) =~ s{/[^/]*$}{};
  my %std;
  my @own;
  for my $inc (includes_of($text)) {
    my ($line, $kind, $name) = @$inc;
    my $where = "$file:$line: #include " . ($kind eq "<" ? "<$name>" : "\"$name\"");
    if ($kind eq "<") {
      if ($standard{$name}) {
        $std{$name} = 1;
      } elsif (exists $library{$name}) {
        fault("$where: libpng and libjpeg belong to their readers ($library{$name})")
          unless $library{$name} eq $file;
      } else {
        fault("$where: not a C++ standard header, nor the platform API the system is written against");
      }
      next;
    }
    # A header of the system itself or of the platform API, or the parser
    # Bison makes from a grammar beside the file.
    (my $folder = $name) =~ s{/.*}{};
    my $system = (grep { $_ eq $folder } @folders) && -f $name;
    my $generated = $name =~ m{^([^/]+)\.(?:hpp|h)$} && -f "$dir/$1.y";
    push @own, $name if $system;
    next if $api{$name} || $system || $generated;
    if (-f $name || -f "$dir/$name") {
      fault("$where: outside the system and the platform API it is written against");
    } else {
      fault("$where: no such header in the repository");
    }
  }
  $standard_includes{$file} = \%std;
  $system_includes{$file} = \@own;
}

# The standard headers a file has: its own and, through the system headers
# it includes, theirs. The platform API headers count for nothing.
my %provided;
sub provided {
  my ($file, $seen) = @_;
  return %{$provided{$file}} if $provided{$file};
  my %have = %{$standard_includes{$file} || {}};
  for my $header (@{$system_includes{$file} || []}) {
    next if $seen->{$header}++;
    %have = (%have, provided($header, $seen));
  }
  return %have;
}
for my $file (@files) {
  $provided{$file} = { provided($file, { $file => 1 }) };
}

for my $file (@files) {
  my $code = code_only(read_file($file));
  my %have = %{$provided{$file}};
  for my $need (@needs) {
    my ($pattern, $headers) = @$need;
    next unless $code =~ /($pattern)/;
    my $name = $1;
    next if grep { $have{$_} } split / /, $headers;
    my $line = 1 + (substr($code, 0, $-[0]) =~ tr/\n//);
    my @list = map { "<$_>" } split / /, $headers;
    $name =~ s/\s+/ /g;
    fault("$file:$line: uses $name without including " . join(" or ", @list));
  }
  for my $macro (@macros) {
    next unless $code =~ /(?<![\w.>:])$macro\b/;
    my $line = 1 + (substr($code, 0, $-[0]) =~ tr/\n//);
    fault("$file:$line: \"$macro\" is a macro of the platform headers; choose another name");
  }
  for my $call (@posix) {
    next unless $code =~ /(?<![\w.>:])$call\s*\(/;
    my $line = 1 + (substr($code, 0, $-[0]) =~ tr/\n//);
    fault("$file:$line: $call is POSIX, neither standard C++ nor the platform API");
  }
}

if ($faults) {
  print "$faults fault(s): the system code must need nothing but its platform and standard C++\n";
  exit 1;
}
print "ok: " . scalar(@files) . " files of the system code include only what they may\n";
'

#!/usr/bin/env bash
# Checks that every relative link and picture in the project's Markdown files
# points at a file that exists and, for a link to a heading, at a heading of
# that file (named as GitHub names its anchors). Links to other sites are not
# followed. Prints each broken link; exits 1 if there is one.
#
#   scripts/check-links.sh [files...]   (default: every Markdown file git tracks or would)
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# == 0)); then
    mapfile -t files < <(git ls-files --cached --others --exclude-standard '*.md')
    set -- "${files[@]}"
fi
exec perl -CSDA -Mutf8 -e '
use strict;
use warnings;
use File::Basename qw(dirname);
use File::Spec;

my %anchors;
# The anchors GitHub gives the headings of a file.
sub anchors_of {
    my ($file) = @_;
    return $anchors{$file} if $anchors{$file};
    my (%seen, %found);
    open(my $in, "<:encoding(UTF-8)", $file) or return $anchors{$file} = {};
    my $fenced = 0;
    while (my $line = <$in>) {
        $fenced = !$fenced if $line =~ /^\s*(```|~~~)/;
        next if $fenced or $line !~ /^#{1,6}\s+(.*?)\s*#*\s*$/;
        my $slug = lc $1;
        $slug =~ s/\[([^\]]*)\]\([^)]*\)/$1/g;
        $slug =~ s/[^\p{L}\p{N}\p{M}\s_-]//g;
        $slug =~ s/\s/-/g;
        my $n = $seen{$slug}++;
        $found{$n ? "$slug-$n" : $slug} = 1;
    }
    return $anchors{$file} = \%found;
}

my $broken = 0;
for my $file (@ARGV) {
    open(my $in, "<:encoding(UTF-8)", $file) or die "$file: $!\n";
    my ($fenced, $number) = (0, 0);
    while (my $line = <$in>) {
        ++$number;
        $fenced = !$fenced if $line =~ /^\s*(```|~~~)/;
        next if $fenced;
        (my $text = $line) =~ s/`[^`]*`//g;
        while ($text =~ /\]\(([^)\s]+)(?:\s+"[^"]*")?\)/g) {
            my $target = $1;
            next if $target =~ /^[a-z][a-z0-9+.-]*:/i;
            my ($path, $anchor) = split /#/, $target, 2;
            my $resolved = $path eq "" ? $file
                : File::Spec->catfile(dirname($file), $path);
            my $problem;
            if (!-e $resolved) {
                $problem = "no such file";
            } elsif (defined $anchor && $resolved =~ /\.md$/
                     && !anchors_of($resolved)->{$anchor}) {
                $problem = "no such heading";
            }
            next unless $problem;
            print "$file:$number: $target: $problem\n";
            $broken = 1;
        }
    }
}
exit $broken;
' "$@"

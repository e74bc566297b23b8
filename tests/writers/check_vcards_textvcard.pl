#!/usr/bin/perl
# Reads every vCard of a folder with Text::vCard (libtext-vcard-perl): each file must give one
# card whose FN reads as the raw FN line says. usage: check_vcards_textvcard.pl FOLDER
use strict;
use warnings;
use Encode qw(decode);
use Text::vCard::Addressbook;

my $folder = shift or die "usage: $0 FOLDER\n";
opendir(my $dir, $folder) or die "$folder: $!\n";
my @names = sort grep { /\.vcf$/ } readdir($dir);
closedir($dir);
my ($parsed, $failed) = (0, 0);
for my $name (@names) {
    my $path = "$folder/$name";
    my @warnings;
    local $SIG{__WARN__} = sub { push @warnings, $_[0] };
    my $problem;
    eval {
        my @cards = Text::vCard::Addressbook->load([$path])->vcards;
        die "holds " . scalar(@cards) . " cards\n" unless @cards == 1;
        open(my $in, '<:raw', $path) or die "$!\n";
        local $/;
        my ($raw) = <$in> =~ /\r\nFN[^:\r\n]*:([^\r\n]*)\r\n/;
        my $want = decode('UTF-8', $raw // '');
        $want =~ s/\\;/;/g;
        my $got = $cards[0]->fullname // '';
        die "FN reads '$got', written '$want'\n" unless $got eq $want;
        1;
    } or $problem = $@ || 'unknown failure';
    if ($problem) {
        chomp $problem;
        print "$name: $problem\n";
        $failed++;
    } else {
        $parsed++;
    }
}
print "Text::vCard parsed $parsed of " . scalar(@names) . " vCards, $failed failed\n";
exit($failed || !@names ? 1 : 0);

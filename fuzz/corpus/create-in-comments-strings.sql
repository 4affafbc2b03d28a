-- create procedure [sp_MSdel_dboA] is generated below
/* old version:
/* create procedure [sp_MSins_dboA] as begin insert into [dbo].[A] values (1) end */
create procedure [sp_MSupd_dboA] as update [dbo].[A] set [x] = 1
*/
exec sp_executesql N'create procedure [sp_MSdel_dboA] @pkc1 int as begin delete [dbo].[A] where [id] = @pkc1 if @@rowcount = 0 exec sp_MSreplraiserror 20598, ''it''''s'' end'
GO
select [create procedure sp_MSins_dboA], "create procedure sp_MSins_dboB"
GO
/* a comment that GO closes: create procedure [sp_MSins_dboA]
GO
create procedure [sp_MSins_dboA]
    @c1 int
as
begin
	insert into [dbo].[A]([id]) values (@c1)
end
GO
